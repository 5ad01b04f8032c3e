#pragma once

#include <QWidget>

class QCheckBox;
class QRadioButton;
class QSpinBox;

namespace vocaset {

// How telephones are restarted, shared by the reboot window and the fleet's restart of its stale
// telephones: by each model's HTTP dialogue or by a SIP NOTIFY, and whether to wait (how many
// seconds) for each one's next fetch. Its controls are named for captions: Http, Sip, Confirm,
// ConfirmSeconds.
class RestartChoice final : public QWidget
{
    Q_OBJECT

public:
    explicit RestartChoice(QWidget* parent = nullptr);

    QRadioButton* http() const { return m_http; }
    QRadioButton* sip() const { return m_sip; }
    QCheckBox* confirm() const { return m_confirm; }
    QSpinBox* confirmSeconds() const { return m_seconds; }
    bool overSip() const;
    // The seconds to wait for the next fetches; 0 when no confirmation is asked.
    int confirmFor() const;
    // Every control at once, for a run that locks its window.
    void lock(bool locked);

Q_SIGNALS:
    void methodChanged(bool overSip);

private:
    QRadioButton* m_http;
    QRadioButton* m_sip;
    QCheckBox* m_confirm;
    QSpinBox* m_seconds;
};

} // namespace vocaset
