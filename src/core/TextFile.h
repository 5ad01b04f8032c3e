#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace vocaset {

// Windows-1252, the single-byte code page the telephones and the data files use. A character
// without a code there becomes '?'; lossy (when given) is set to true if that happened.
QByteArray toCp1252(const QString& text, bool* lossy = nullptr);
QString fromCp1252(const QByteArray& bytes);

// Text of an input file: valid UTF-8 (a byte-order mark is dropped) is read as UTF-8, anything else
// as Windows-1252; utf8 (when given) tells which, for the run's log.
QString decodeText(const QByteArray& bytes, bool* utf8 = nullptr);

// Reads a whole input file (settings, user list, patch, certificate, import). Only a regular file
// of at most maxBytes is read: a device, FIFO or folder is refused before anything is read, so
// /dev/zero cannot exhaust memory nor a FIFO block the program. On failure error names the file
// and the reason.
std::optional<QByteArray> readInputFile(const QString& path, qint64 maxBytes, QString* error = nullptr);
// The same check without reading: the file may be opened and read by the caller's own loop.
bool isReadableInput(const QString& path, qint64 maxBytes, QString* error = nullptr);

// An input file read in pieces, for a reader that keeps no more of it than it needs; opened under
// the checks of readInputFile(). The size the system reports is only a hint (a file under /proc
// says 0, a file may grow while it is read): every piece counts against maxBytes, and the read that
// would pass it fails.
class InputFile final
{
public:
    InputFile(const QString& path, qint64 maxBytes);
    ~InputFile();
    Q_DISABLE_COPY_MOVE(InputFile)

    bool isOpen() const { return m_fd >= 0; }
    // Why the file could not be opened or the last read failed: its name and the reason.
    const QString& error() const { return m_error; }
    // The size the system reported when the file was opened.
    qint64 reportedSize() const { return m_size; }
    // Appends the next piece (at most 64 KiB) to bytes: its length, 0 at the end, -1 on failure.
    qint64 readInto(QByteArray& bytes);
    // Reads again from the first byte.
    bool rewind();

private:
    qint64 fail(const QString& reason);

    QString m_path;
    qint64 m_max;
    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_read = 0;
    QString m_error;
};

// The text of an input file in pieces, as decodeText() reads a whole one. Read as UTF-8 (the
// byte-order mark dropped), the text ends at the first byte that is no UTF-8, and invalidUtf8()
// then says to read it again as Windows-1252.
class InputText final
{
public:
    InputText(InputFile& file, bool utf8) : m_file(file), m_utf8(utf8) {}
    Q_DISABLE_COPY_MOVE(InputText)

    // Appends the next piece of text; false at the end, after a failed read (failed()) or at a byte
    // that is no UTF-8.
    bool readInto(QString& text);
    bool invalidUtf8() const { return m_invalid; }
    bool failed() const { return m_failed; }

private:
    InputFile& m_file;
    bool m_utf8;
    bool m_started = false;
    bool m_invalid = false;
    bool m_failed = false;
    QByteArray m_pending; // the bytes of a UTF-8 sequence that the next piece completes
};

// Writes the bytes to a temporary file beside the target, syncs it and renames it over the target,
// so a reader never sees half a file. Every write, close and sync is checked: on failure the
// temporary file is gone, the old file is untouched, and error names the file and the system's
// reason. A symbolic link at the target is replaced by the file, never followed.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Copies a file the same way, reading it in pieces; a read error names the file read.
bool copyFileAtomically(const QString& from, const QString& to, QString* error = nullptr);

// The steps of writeFileAtomically, for callers that write many files and sync them in batches:
// writeBeside() each, syncFile() each (or one sync of the file system), then replaceTarget() each.
struct PendingFile
{
    QString target;
    QString temporary;
};

// Creates a new temporary file beside the target holding the bytes, with the target's permissions
// when the target is a plain file. Written and closed, each step checked; synced only when asked.
// Nothing is left behind when it fails.
std::optional<PendingFile> writeBeside(const QString& target, const QByteArray& bytes, bool sync,
                                       QString* error = nullptr);
// Flushes a written file's bytes to the disk.
bool syncFile(const QString& path, QString* error = nullptr);
// Renames the temporary file over the target (a link there is replaced itself); on failure the
// temporary file is removed and the target left as it was.
bool replaceTarget(const PendingFile& file, QString* error = nullptr);
// Removes the temporary file of a write that will not be completed.
void discardPending(const PendingFile& file);
// Makes the folder's entries (a rename just done) durable; needed before an input is deleted on
// the strength of a file that replaces it.
bool syncFolder(const QString& folder, QString* error = nullptr);

// Sees every file and folder sync made here, after it succeeded, with the path synced: tests count
// the syncs and check that they come before the renames that rely on them. None by default.
using SyncObserver = std::function<void(const QString& path)>;
void setSyncObserver(SyncObserver observer);

// A folder setting loses one trailing '/' or '\'.
QString trimFolder(const QString& folder);

// A name built from data may become a file name only without path separators and "..".
bool isSafeFileName(const QString& name);

// Splits text into lines ending at CR, LF or CR LF; the terminators are not part of the lines.
QStringList splitLines(const QString& text);

// A cell of a CSV file that a spreadsheet would take for a formula (it begins with "=", "+", "-",
// "@", a tab or a CR) written behind an apostrophe, which makes the spreadsheet show it as text; a
// cell that begins with an apostrophe before one of those, or before another apostrophe, gets one
// more. unmarkedCell() drops that apostrophe again, so every text reads back as it was written.
QString markedCell(const QString& cell);
QString unmarkedCell(const QString& cell);

// Text from the database or a file made fit to show as one line: CR, LF, NUL, tab and every other
// control character (C0, DEL, C1, the Unicode line and paragraph separators) written as an escape
// such as \r, \n, \0 or \x1b, so a stored value can neither forge a log line nor drive a
// terminal. With keepLineBreaks, LF and CR LF stay line breaks (for multi-line messages).
QString escapeControls(const QString& text, bool keepLineBreaks = false);

// Reads a device line by line with the line ends of splitLines(), holding one line at a time: a
// line longer than maxBytes is reported instead of being read into memory.
class LineReader final
{
public:
    enum class Status { Line, End, TooLong, Failed };
    LineReader(QIODevice& device, qsizetype maxBytes) : m_device(device), m_max(maxBytes) {}
    Q_DISABLE_COPY_MOVE(LineReader)

    Status next(QByteArray& line);
    // The number of the line last returned or found too long, from 1.
    qsizetype lineNumber() const { return m_number; }

private:
    QIODevice& m_device;
    qsizetype m_max;
    QByteArray m_buffer;
    qsizetype m_pos = 0;  // start of the line being read
    qsizetype m_scan = 0; // where the search for its end goes on
    qsizetype m_number = 0;
    bool m_skipLf = false; // the last line ended at CR: an LF right after it belongs to that end
    bool m_end = false;
};

} // namespace vocaset
