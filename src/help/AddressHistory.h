#pragma once

#include <QStringList>

namespace vocaset {

// The help viewer's address list: the addresses visited, most recent first, each once. While the
// program itself rewrites the list, a choice in it must not start a navigation.
class AddressHistory
{
public:
    explicit AddressHistory(int limit = 50) : m_limit(limit) {}

    // A navigation finished at this address: it goes to the top, and an older entry of it goes.
    void visited(const QString& address);
    const QStringList& entries() const { return m_entries; }

    bool navigationAllowed() const { return m_rewriting == 0; }

    // The trail for Back and Forward: a page shown by a new navigation drops the pages ahead of the
    // current one; one reached by Back or Forward only moves along the trail.
    void shown(const QString& address);
    bool canGoBack() const { return m_at > 0; }
    bool canGoForward() const { return m_at + 1 < m_trail.size(); }
    // The address one step back or forward (the step is taken once its page is shown).
    QString back() const { return canGoBack() ? m_trail.at(m_at - 1) : QString(); }
    QString forward() const { return canGoForward() ? m_trail.at(m_at + 1) : QString(); }
    void step(int direction);

    // Held while the program rewrites the address list.
    class Rewrite
    {
    public:
        explicit Rewrite(AddressHistory& history) : m_history(history) { ++m_history.m_rewriting; }
        ~Rewrite() { --m_history.m_rewriting; }
        Q_DISABLE_COPY_MOVE(Rewrite)

    private:
        AddressHistory& m_history;
    };

private:
    QStringList m_entries;
    QStringList m_trail;
    qsizetype m_at = -1;
    int m_limit;
    int m_rewriting = 0;
};

} // namespace vocaset
