#pragma once

#include <QStringList>
#include <QWidget>

#include "Session.h"

class QLabel;
class QPushButton;

namespace vocaset {

// The About box: the program's title, version, authorship and project address, and a button that
// starts a system-information program of the machine.
class frmAbout final : public QWidget
{
    Q_OBJECT

public:
    explicit frmAbout(Session& session, QWidget* parent = nullptr);

    QLabel* title() const { return m_title; }
    QLabel* version() const { return m_version; }
    QLabel* description() const { return m_description; }
    QLabel* disclaimer() const { return m_disclaimer; }
    QPushButton* ok() const { return m_ok; }
    QPushButton* sysInfo() const { return m_sysInfo; }
    // Where the system-information programs are looked for (the PATH unless set).
    void setProgramFolders(const QStringList& folders) { m_folders = folders; }

private:
    void startSysInfo();

    Session& m_s;
    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_version;
    QLabel* m_description;
    QLabel* m_disclaimer;
    QPushButton* m_sysInfo;
    QPushButton* m_ok;
    QStringList m_folders;
};

} // namespace vocaset
