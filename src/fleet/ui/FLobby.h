#pragma once

#include <QWidget>

#include "PhoneLobby.h"
#include "RecordLists.h"
#include "Session.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vocaset {

class ProgressStrip;

// The new telephones: every telephone that asked the server for a file while no telephone had its
// MAC, newest first, sortable; several chosen, Claim… asks for the company, the model (the guessed
// one first) and the first code, shows what it will create and creates it; Forget removes them.
class FLobby final : public QWidget, public FollowsRecords, public ChangesRecords
{
    Q_OBJECT

public:
    explicit FLobby(Session& session, QWidget* parent = nullptr);

    QTreeWidget* list1() const { return m_list; }
    QLabel* counts() const { return m_counts; }
    QPushButton* refreshButton() const { return m_refresh; }
    QPushButton* claimButton() const { return m_claim; }
    QPushButton* forgetButton() const { return m_forget; }
    void recordsChanged(const QString& table) override;

    enum Column { Mac, File, First, Last, Requests, Client, Model, Maker, Agent, Columns };

private:
    void refresh();
    void claim();
    void forget();
    QStringList chosenMacs() const;

    Session& m_s;
    QTreeWidget* m_list;
    QLabel* m_counts;
    QPushButton* m_refresh;
    QPushButton* m_claim;
    QPushButton* m_forget;
    QPushButton* m_cancel;
};

} // namespace vocaset
