#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include "TextFile.h"

namespace vocaset {

// Output files put in place in batches: each file is written beside its target, and a batch's
// files replace their targets together once their data is on disk, so the sync is paid once per
// batch rather than once per file. A reader never sees half a file; until a batch is committed its
// targets keep their old contents.
class FileBatch final
{
public:
    struct File
    {
        QString path;
        QByteArray bytes;
    };

    FileBatch() = default;
    // Anything not committed is removed.
    ~FileBatch();
    Q_DISABLE_COPY_MOVE(FileBatch)

    // Writes a group of files (a telephone's files) beside their targets. All or none: on failure
    // nothing of the group stays pending, and error names the file and the system's reason.
    bool add(const QList<File>& group, QString* error);
    // True when the batch should be committed: many groups pending, or the oldest pending a while.
    bool due() const;
    // Puts every pending file in place. Returns the number of groups that did not land whole
    // (0 when all went well), with the first reason in error.
    int commit(QString* error);

    // Groups pending before a commit is due, and how long the oldest may wait.
    static constexpr int kMaxGroups = 256;
    static constexpr qint64 kMaxAgeMs = 2000;

private:
    QList<QList<PendingFile>> m_groups;
    QElapsedTimer m_age;
};

} // namespace vocaset
