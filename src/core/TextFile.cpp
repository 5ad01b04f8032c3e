#include "TextFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

namespace vocaset {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes that have none.
constexpr std::array<char16_t, 32> kHigh = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

QByteArray toCp1252(const QString& text, bool* lossy)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.append(char(c));
            continue;
        }
        char byte = '?';
        for (std::size_t i = 0; i < kHigh.size(); ++i) {
            if (kHigh[i] != 0 && kHigh[i] == c) {
                byte = char(0x80 + i);
                break;
            }
        }
        if (byte == '?' && lossy)
            *lossy = true;
        out.append(byte);
    }
    return out;
}

QString fromCp1252(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80] != 0)
            out.append(QChar(kHigh[b - 0x80]));
        else
            out.append(QChar(char16_t(b)));
    }
    return out;
}

QString decodeText(const QByteArray& bytes, bool* utf8)
{
    QByteArrayView view(bytes);
    const bool bom = view.startsWith("\xEF\xBB\xBF");
    if (bom)
        view = view.sliced(3);
    const bool valid = view.isValidUtf8();
    if (utf8)
        *utf8 = valid;
    return valid ? QString::fromUtf8(view) : fromCp1252(bytes);
}

namespace {

// Opens an input without blocking on a FIFO and checks what it is before a byte is read.
int openInput(const QString& path, qint64 maxBytes, QString* error, qint64* size)
{
    const auto refuse = [&](const QString& reason) {
        if (error)
            *error = path + QStringLiteral(": ") + reason;
        return -1;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st
    {
    };
    QString reason;
    if (::fstat(fd, &st) != 0)
        reason = QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISDIR(st.st_mode))
        reason = QStringLiteral("is a folder, not a file");
    else if (!S_ISREG(st.st_mode))
        reason = QStringLiteral("is not a regular file (a device, FIFO or socket)");
    else if (st.st_size > maxBytes)
        reason = QStringLiteral("is larger than ") + QString::number(maxBytes) + QStringLiteral(" bytes");
    if (!reason.isEmpty()) {
        ::close(fd);
        return refuse(reason);
    }
    *size = st.st_size;
    return fd;
}

} // namespace

bool isReadableInput(const QString& path, qint64 maxBytes, QString* error)
{
    qint64 size = 0;
    const int fd = openInput(path, maxBytes, error, &size);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::optional<QByteArray> readInputFile(const QString& path, qint64 maxBytes, QString* error)
{
    InputFile file(path, maxBytes);
    QByteArray bytes;
    if (file.isOpen()) {
        bytes.reserve(qsizetype(file.reportedSize()));
        qint64 n = 0;
        while ((n = file.readInto(bytes)) > 0) {
        }
        if (n == 0)
            return bytes;
    }
    if (error)
        *error = file.error();
    return std::nullopt;
}

InputFile::InputFile(const QString& path, qint64 maxBytes) : m_path(path), m_max(maxBytes)
{
    m_fd = openInput(path, maxBytes, &m_error, &m_size);
}

InputFile::~InputFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 InputFile::fail(const QString& reason)
{
    m_error = m_path + QStringLiteral(": ") + reason;
    return -1;
}

qint64 InputFile::readInto(QByteArray& bytes)
{
    if (m_fd < 0)
        return -1;
    constexpr qint64 kPiece = 1 << 16;
    const qsizetype had = bytes.size();
    bytes.resize(had + kPiece);
    ssize_t n = 0;
    do {
        n = ::read(m_fd, bytes.data() + had, size_t(kPiece));
    } while (n < 0 && errno == EINTR);
    const int code = errno;
    bytes.resize(had + std::max<ssize_t>(n, 0));
    if (n < 0)
        return fail(QString::fromLocal8Bit(std::strerror(code)));
    if (m_read + n > m_max) {
        bytes.resize(had);
        return fail(QStringLiteral("is larger than ") + QString::number(m_max) + QStringLiteral(" bytes"));
    }
    m_read += n;
    return n;
}

bool InputFile::rewind()
{
    if (m_fd < 0)
        return false;
    if (::lseek(m_fd, 0, SEEK_SET) != 0) {
        fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_read = 0;
    return true;
}

bool InputText::readInto(QString& text)
{
    if (m_invalid || m_failed)
        return false;
    QByteArray bytes = std::exchange(m_pending, {});
    qint64 n = 0;
    // The first piece holds the byte-order mark whole when there is one.
    do {
        n = m_file.readInto(bytes);
    } while (!m_started && n > 0 && bytes.size() < 3);
    const bool first = !std::exchange(m_started, true);
    if (n < 0) {
        m_failed = true;
        return false;
    }
    QByteArrayView view(bytes);
    if (!m_utf8) {
        text += fromCp1252(bytes);
        return n > 0;
    }
    if (first && view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3);
    if (n > 0) {
        // A sequence cut by the end of the piece waits for the rest: its lead byte is at most three
        // bytes from the end.
        qsizetype lead = view.size();
        while (lead > 0 && view.size() - lead < 4 && (quint8(view[lead - 1]) & 0xC0) == 0x80)
            --lead;
        if (lead > 0) {
            const auto b = quint8(view[lead - 1]);
            const qsizetype length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (view.size() - (lead - 1) < length) {
                m_pending = view.sliced(lead - 1).toByteArray();
                view.truncate(lead - 1);
            }
        }
    }
    // Bytes left over at the end are a sequence that never ends.
    if (!view.isValidUtf8() || (n == 0 && !view.isEmpty())) {
        m_invalid = true;
        return false;
    }
    text += QString::fromUtf8(view);
    return n > 0;
}

namespace {

// "Cannot write /srv/tftp/cfg000b82000001: No space left on device": the file and the system's reason.
bool fail(QString* error, const QString& what, const QString& path, int code)
{
    if (error)
        *error = what + u' ' + path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
    return false;
}

// Writes all bytes, going on after a short write or a signal; false with errno set otherwise.
bool writeAll(int fd, const QByteArray& bytes)
{
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        at += n;
        left -= n;
    }
    return true;
}

SyncObserver& syncObserver()
{
    static SyncObserver observer;
    return observer;
}

// fsync, where a file that cannot be synced at all (EINVAL) is no failure.
bool syncDescriptor(int fd, const QString& path)
{
    while (::fsync(fd) != 0) {
        if (errno == EINVAL)
            break;
        if (errno != EINTR)
            return false;
    }
    if (syncObserver())
        syncObserver()(path);
    return true;
}

// A new scratch file beside the target, open for writing.
struct Scratch
{
    int fd = -1;
    PendingFile file;
};

std::optional<Scratch> createScratch(const QString& target, QString* error)
{
    const QFileInfo info(target);
    // Kept short enough that the scratch name stays within the file system's name limit.
    const QString base = info.dir().path() + QStringLiteral("/.") + info.fileName().left(200) + u'.';
    // lstat: a link at the target is replaced, so its target's mode does not matter.
    struct stat old = {};
    const bool keepMode = ::lstat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode);

    Scratch scratch{-1, {target, {}}};
    for (int attempt = 0; scratch.fd < 0; ++attempt) {
        scratch.file.temporary =
            base + QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".tmp");
        scratch.fd = ::open(QFile::encodeName(scratch.file.temporary).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (scratch.fd < 0 && (errno != EEXIST || attempt == 100)) {
            fail(error, QStringLiteral("Cannot write"), target, errno);
            return std::nullopt;
        }
    }
    if (keepMode && ::fchmod(scratch.fd, old.st_mode & 07777) != 0) {
        const int code = errno;
        ::close(scratch.fd);
        discardPending(scratch.file);
        fail(error, QStringLiteral("Cannot write"), target, code);
        return std::nullopt;
    }
    return scratch;
}

// Syncs (when asked) and closes a scratch file whose bytes were written; written is false with
// errno set when writing failed. Anything that failed removes the scratch file.
std::optional<PendingFile> finishScratch(Scratch& scratch, bool written, bool sync, QString* error,
                                         const QString& failedFile = {})
{
    bool ok = written && (!sync || syncDescriptor(scratch.fd, scratch.file.temporary));
    int code = errno;
    // close() reports write errors that a network file system kept back until then.
    if (::close(scratch.fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok)
        return scratch.file;
    discardPending(scratch.file);
    fail(error, failedFile.isEmpty() ? QStringLiteral("Cannot write") : QStringLiteral("Cannot read"),
         failedFile.isEmpty() ? scratch.file.target : failedFile, code);
    return std::nullopt;
}

} // namespace

std::optional<PendingFile> writeBeside(const QString& target, const QByteArray& bytes, bool sync, QString* error)
{
    std::optional<Scratch> scratch = createScratch(target, error);
    if (!scratch)
        return std::nullopt;
    return finishScratch(*scratch, writeAll(scratch->fd, bytes), sync, error);
}

bool copyFileAtomically(const QString& from, const QString& to, QString* error)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return fail(error, QStringLiteral("Cannot read"), from, errno);
    std::optional<Scratch> scratch = createScratch(to, error);
    if (!scratch) {
        ::close(in);
        return false;
    }
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    bool written = true;
    bool readFailed = false;
    while (written) {
        const ssize_t n = ::read(in, chunk.data(), size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            readFailed = n < 0;
            break;
        }
        written = writeAll(scratch->fd, QByteArray::fromRawData(chunk.constData(), n));
    }
    const int code = errno;
    ::close(in);
    errno = code;
    const std::optional<PendingFile> pending =
        finishScratch(*scratch, written && !readFailed, true, error, readFailed ? from : QString());
    return pending && replaceTarget(*pending, error);
}

namespace {

bool syncPath(const QString& path, int flags, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return fail(error, QStringLiteral("Cannot sync"), path, errno);
    const bool ok = syncDescriptor(fd, path);
    const int code = errno;
    ::close(fd);
    return ok || fail(error, QStringLiteral("Cannot sync"), path, code);
}

} // namespace

bool syncFile(const QString& path, QString* error)
{
    return syncPath(path, 0, error);
}

bool replaceTarget(const PendingFile& file, QString* error)
{
    // rename() replaces the directory entry itself: a symbolic link there is replaced, not followed.
    if (::rename(QFile::encodeName(file.temporary).constData(), QFile::encodeName(file.target).constData()) == 0)
        return true;
    const int code = errno;
    discardPending(file);
    return fail(error, QStringLiteral("Cannot replace"), file.target, code);
}

void discardPending(const PendingFile& file)
{
    ::unlink(QFile::encodeName(file.temporary).constData());
}

bool syncFolder(const QString& folder, QString* error)
{
    return syncPath(folder, O_DIRECTORY, error);
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const std::optional<PendingFile> pending = writeBeside(path, bytes, true, error);
    return pending && replaceTarget(*pending, error);
}

void setSyncObserver(SyncObserver observer)
{
    syncObserver() = std::move(observer);
}

QString trimFolder(const QString& folder)
{
    if (folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder.chopped(1);
    return folder;
}

bool isSafeFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QLatin1String("..")) &&
           !name.contains(QChar(0));
}

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            lines.append(text.mid(start, i - start));
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

namespace {

// What a spreadsheet takes for the start of a formula, or of a cell's text that it rewrites.
bool startsFormula(QStringView cell)
{
    return !cell.isEmpty() && QStringView(u"=+-@\t\r").contains(cell.front());
}

bool marked(QStringView cell)
{
    return cell.startsWith(u'\'') && (startsFormula(cell.sliced(1)) || cell.sliced(1).startsWith(u'\''));
}

} // namespace

QString markedCell(const QString& cell)
{
    return startsFormula(cell) || marked(cell) ? u'\'' + cell : cell;
}

QString unmarkedCell(const QString& cell)
{
    return marked(cell) ? cell.mid(1) : cell;
}

QString escapeControls(const QString& text, bool keepLineBreaks)
{
    const auto isControl = [](char16_t c) {
        return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
    };
    if (std::none_of(text.begin(), text.end(), [&](QChar c) { return isControl(c.unicode()); }))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!isControl(c)) {
            out.append(QChar(c));
        } else if (keepLineBreaks && (c == u'\n' || (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n'))) {
            if (c == u'\r')
                ++i;
            out.append(u'\n');
        } else if (c == u'\r') {
            out.append(QLatin1String("\\r"));
        } else if (c == u'\n') {
            out.append(QLatin1String("\\n"));
        } else if (c == u'\t') {
            out.append(QLatin1String("\\t"));
        } else if (c == 0) {
            out.append(QLatin1String("\\0"));
        } else if (c > 0xFF) {
            out.append(QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0')));
        } else {
            out.append(QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0')));
        }
    }
    return out;
}

LineReader::Status LineReader::next(QByteArray& line)
{
    constexpr qsizetype kChunk = 1 << 16;
    for (;;) {
        if (m_skipLf && m_pos < m_buffer.size()) {
            if (m_buffer[m_pos] == '\n')
                m_scan = ++m_pos;
            m_skipLf = false;
        }
        for (; m_scan < m_buffer.size(); ++m_scan) {
            const char c = m_buffer[m_scan];
            if (c != '\r' && c != '\n')
                continue;
            ++m_number;
            if (m_scan - m_pos > m_max)
                return Status::TooLong;
            line = m_buffer.mid(m_pos, m_scan - m_pos);
            m_skipLf = c == '\r';
            m_pos = ++m_scan;
            return Status::Line;
        }
        if (m_buffer.size() - m_pos > m_max) {
            ++m_number;
            return Status::TooLong;
        }
        if (m_end) {
            if (m_pos == m_buffer.size())
                return Status::End;
            ++m_number;
            line = m_buffer.mid(m_pos);
            m_pos = m_scan = m_buffer.size();
            return Status::Line;
        }
        m_buffer.remove(0, m_pos);
        m_scan -= m_pos;
        m_pos = 0;
        const qsizetype had = m_buffer.size();
        m_buffer.resize(had + kChunk);
        const qint64 n = m_device.read(m_buffer.data() + had, kChunk);
        m_buffer.resize(had + std::max<qint64>(n, 0));
        if (n < 0)
            return Status::Failed;
        m_end = n == 0;
    }
}

} // namespace vocaset
