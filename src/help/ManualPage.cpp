#include "ManualPage.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include "MenuRights.h"
#include "TextFile.h"

namespace vocaset {

QUrl manualUrl(const QString& executableFolder, const QString& anchor, const QString& language)
{
    QString path = manualAddress(executableFolder, language).mid(int(qstrlen("file://")));
    // A network path keeps its server right after "file://"; as a local file it starts with "//".
    if (!path.startsWith(u'/'))
        path.prepend(QStringLiteral("//"));
    QUrl url = QUrl::fromLocalFile(path);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    return url;
}

QUrl addressUrl(const QString& typed, const QString& executableFolder)
{
    const QString text = typed.trimmed();
    if (text.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0)
        return QUrl(QStringLiteral("about:blank"));
    // A link names its scheme ("file:", "https:"); anything else is a path, where '#' starts the
    // section, as in a link.
    const QUrl link(text, QUrl::TolerantMode);
    if (link.isValid() && link.scheme().size() > 1)
        return link;
    const qsizetype hash = text.indexOf(u'#');
    QUrl url = QUrl::fromLocalFile(QDir(executableFolder).absoluteFilePath(text.left(hash)));
    if (hash >= 0)
        url.setFragment(text.mid(hash + 1));
    return url;
}

QString decodeHtmlPage(const QByteArray& bytes)
{
    static const QRegularExpression charset(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(2048));
    const QString declared = charset.match(head).captured(1).toLower();
    if (declared == u"utf-8" || declared == u"utf8")
        return QString::fromUtf8(bytes);
    if (declared.isEmpty()) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return fromCp1252(bytes);
}

QString locationName(const QUrl& url, const QString& title)
{
    if (!title.trimmed().isEmpty())
        return title.trimmed();
    const QString file = url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : QString();
    return file.isEmpty() ? url.toDisplayString() : file;
}

} // namespace vocaset
