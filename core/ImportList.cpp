#include "core/ImportList.h"

#include <QDir>
#include <QIODevice>
#include <QRegularExpression>
#include <QSet>

namespace quillon {

bool importedLineHasType(const QString &line, const QStringList &acceptedTypes)
{
    const QString last = line.section(QLatin1Char('/'), -1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && acceptedTypes.contains(last.mid(dot + 1).toUpper());
}

QString importedLinePath(const QString &line, const QString &currentFolder)
{
    if (line.isEmpty())
        return QString();
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
            pending.append(chunk.sliced(from, nl - from));
            from = nl + 1;
            if (!emitLine(pending)) {
                ok = false;
                break;
            }
            pending.clear();
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
