#pragma once

#include <QQueue>
#include <QStringList>

#include "Interaction.h"

namespace vocaset::test {

// Records every message and answers questions from scripted queues (Yes and the default text when
// a queue is empty).
class ScriptedOperator final : public Operator
{
public:
    void showMessage(const QString& text, const QString& = {}) override { messages.append(text); }
    bool askYesNo(const QString& text, const QString& = {}) override
    {
        questions.append(text);
        return yesNo.isEmpty() ? true : yesNo.dequeue();
    }
    std::optional<QString> askText(const QString& prompt, const QString& defaultText) override
    {
        prompts.append(prompt);
        if (texts.isEmpty())
            return defaultText;
        return texts.dequeue();
    }

    QStringList messages;
    QStringList questions;
    QStringList prompts;
    QQueue<bool> yesNo;
    QQueue<std::optional<QString>> texts;
};

// Records log lines and the last progress report.
class RecordingLog final : public RunLog
{
public:
    void append(const QString& line) override { lines.append(line); }
    void progress(int d, int t) override
    {
        done = d;
        total = t;
    }
    QStringList lines;
    int done = 0;
    int total = 0;
};

} // namespace vocaset::test
