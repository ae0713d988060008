#include "core/ImportList.h"

#include <QDir>
#include <QIODevice>
#include <QRegularExpression>
#include <QSet>

namespace quillon {

bool importedLineHasType(const QString &line, const QStringList &acceptedTypes)
{
    const QStringView last = QStringView(line).mid(line.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return false;
    const QStringView ext = last.mid(dot + 1);
    // Lists run to millions of lines: an ASCII extension is compared in
    // place; any other takes toUpper's full case mapping, as before.
    bool ascii = true;
    for (QChar c : ext)
        ascii = ascii && c.unicode() < 0x80;
    if (!ascii)
        return acceptedTypes.contains(ext.toString().toUpper());
    for (const QString &type : acceptedTypes) {
        if (type.size() == ext.size() && ext.compare(type, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString importedLinePath(const QString &line, const QString &currentFolder)
{
    if (line.isEmpty())
        return QString();
    // A plain absolute path always makes a valid file URL: no need to build one.
    if (line.startsWith(QLatin1Char('/')) && !line.startsWith(QLatin1String("//")))
        return line;
    QString absolute = QDir::isAbsolutePath(line) ? line : QDir(currentFolder).absoluteFilePath(line);
    // "//name/..." is "/name/..." here, not a host of a network address (which
    // may not even be a valid host name).
    if (absolute.startsWith(QLatin1String("//")))
        absolute = QLatin1Char('/') + absolute.mid(absolute.indexOf(QRegularExpression(QStringLiteral("[^/]"))));
    const QUrl url = QUrl::fromLocalFile(absolute);
    if (!url.isValid() || !url.isLocalFile())
        return QString();
    return absolute;
}

QList<QUrl> importedPaths(const QString &text, const QStringList &acceptedTypes, const QString &currentFolder)
{
    QList<QUrl> files;
    if (text.isEmpty())
        return files;
    QSet<QUrl> seen;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!importedLineHasType(line, acceptedTypes))
            continue;
        const QString absolute = importedLinePath(line, currentFolder);
        if (absolute.isEmpty())
            continue;
        const QUrl url = QUrl::fromLocalFile(absolute);
        if (!seen.contains(url)) {
            seen.insert(url);
            files.append(url);
        }
    }
    return files;
}

bool readImportLines(QIODevice &device, const std::function<void(const QString &line)> &line, QString *error,
                     qint64 *lineNo)
{
    qint64 n = 0;
    QByteArray pending;
    char buffer[1 << 16];
    auto emitLine = [&](QByteArrayView bytes) {
        ++n;
        if (!bytes.isValidUtf8()) {
            *error = QStringLiteral("line %1 is not UTF-8 text").arg(n);
            return false;
        }
        line(QString::fromUtf8(bytes));
        return true;
    };
    bool ok = true;
    for (;;) {
        const qint64 got = device.read(buffer, sizeof buffer);
        if (got < 0) {
            *error = device.errorString();
            ok = false;
            break;
        }
        if (got == 0) // blocking reads: the end of a file or pipe
            break;
        qsizetype from = 0;
        const QByteArrayView chunk(buffer, got);
        for (qsizetype nl = chunk.indexOf('\n'); nl >= 0; nl = chunk.indexOf('\n', from)) {
            // A line inside the chunk goes out as it lies there, uncopied.
            const QByteArrayView piece = chunk.sliced(from, nl - from);
            from = nl + 1;
            if (!pending.isEmpty()) {
                pending.append(piece);
                ok = emitLine(pending);
                pending.clear();
            } else {
                ok = emitLine(piece);
            }
            if (!ok)
                break;
        }
        if (!ok)
            break;
        pending.append(chunk.sliced(from));
    }
    if (ok && !pending.isEmpty())
        ok = emitLine(pending);
    if (lineNo)
        *lineNo = n;
    return ok;
}

} // namespace quillon
