#pragma once

#include <optional>

#include <QString>

namespace vocaset {

// Where a run writes its progress lines: the window's list, standard output, or a test's record.
class RunLog
{
public:
    virtual ~RunLog() = default;
    virtual void append(const QString& line) = 0;
    // Items done out of items selected, for a progress bar; ignored where nothing shows it.
    virtual void progress(int /*done*/, int /*total*/) {}
};

// The person at the other end: message boxes in a window, flags or a terminal in the command-line
// tool, scripted answers in a test.
class Operator
{
public:
    virtual ~Operator() = default;
    // Shows a text with only an OK button and waits; an empty title means the application's default.
    virtual void showMessage(const QString& text, const QString& title = {}) = 0;
    // A failure the run could not get past (a refused statement): shown like a message where
    // nothing distinguishes them, with an error sign in a window.
    virtual void showError(const QString& text, const QString& title = {}) { showMessage(text, title); }
    // A failure told in words, with the engine's own text as detail (behind a button in a window).
    virtual void showDetailed(const QString& text, const QString& detail)
    {
        showMessage(detail.isEmpty() ? text : text + u'\n' + detail);
    }
    virtual bool askYesNo(const QString& text, const QString& title = {}) = 0;
    // A text prompt pre-filled with a default; nothing when cancelled.
    virtual std::optional<QString> askText(const QString& prompt, const QString& defaultText) = 0;
};

// A log that forgets everything; for runs whose caller has no list.
class NullRunLog final : public RunLog
{
public:
    void append(const QString&) override {}
};

} // namespace vocaset
