#include "core/Manifest.h"

#include "core/Process.h"
#include "core/SafeOutputFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cctype>

namespace quillon {

QByteArray manifestLine(const QString &hexDigest, const QString &path)
{
    QByteArray name = path.toUtf8();
    const bool escaped = name.contains('\\') || name.contains('\n');
    if (escaped)
        name.replace("\\", "\\\\").replace("\n", "\\n");
    return (escaped ? QByteArray("\\") : QByteArray()) + hexDigest.toLatin1() + "  " + name + '\n';
}

bool parseManifest(const QByteArray &text, QMap<QString, QString> *entries, QString *error)
{
    QMap<QString, QString> found;
    int lineNo = 0;
    for (const QByteArray &whole : text.split('\n')) {
        QByteArrayView line(whole);
        ++lineNo;
        if (line.isEmpty())
            continue;
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line = line.sliced(1);
        // "<64 hex>  <name>" (or " *<name>" for binary mode)
        bool ok = line.size() > 66 && line.at(64) == ' ' && (line.at(65) == ' ' || line.at(65) == '*');
        for (int i = 0; ok && i < 64; ++i)
            ok = std::isxdigit(static_cast<unsigned char>(line.at(i))) != 0;
        if (!ok) {
            *error = QStringLiteral("line %1 is no sha256sum entry").arg(lineNo);
            return false;
        }
        QByteArray name = line.sliced(66).toByteArray();
        if (escaped) {
            QByteArray plain;
            for (qsizetype i = 0; i < name.size(); ++i) {
                if (name.at(i) == '\\' && i + 1 < name.size()) {
                    ++i;
                    plain += name.at(i) == 'n' ? '\n' : name.at(i);
                } else {
                    plain += name.at(i);
                }
            }
            name = plain;
        }
        found.insert(QString::fromUtf8(name), QString::fromLatin1(line.first(64).toByteArray()).toLower());
    }
    *entries = std::move(found);
    return true;
}

QString sha256OfFile(const QString &path, QString *error)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

bool updateManifest(const QString &manifestPath, const Log &log, const QString &outputFolder, QString *error, int *count)
{
    QMap<QString, QString> earlier;
    QFile old(manifestPath);
    if (old.exists()) {
        QString why;
        if (!old.open(QIODevice::ReadOnly) || !parseManifest(old.readAll(), &earlier, &why)) {
            *error = QStringLiteral("the manifest %1 that stands there cannot be read (%2); it is left as it is")
                         .arg(manifestPath, why.isEmpty() ? old.errorString() : why);
            return false;
        }
    }
    QMap<QString, QString> entries = earlier;
    const QDir folder(outputFolder);
    for (const LogFilesPtr &f : log.files) {
        const QString path = QDir(f->targetPath).filePath(f->filename);
        const QString relative = folder.relativeFilePath(path);
        if (f->status == QLatin1String("Completed") && !f->sha256.isEmpty()) {
            entries.insert(relative, f->sha256);
        } else if (f->status == Process::kSkippedExisting && !entries.contains(relative)) {
            // Made by a run that ended before it could list it.
            QString why;
            const QString digest = sha256OfFile(path, &why);
            if (digest.isEmpty()) {
                *error = why;
                return false;
            }
            entries.insert(relative, digest);
        }
    }
    QByteArray text;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        text += manifestLine(it.value(), it.key());
    SafeOutputFile file(manifestPath);
    QString why;
    if (!file.open(&why) || !file.write(text) || !file.commit(&why)) {
        *error = QStringLiteral("cannot write the manifest %1: %2").arg(manifestPath, why.isEmpty() ? QStringLiteral("write failed") : why);
        return false;
    }
    if (count)
        *count = int(entries.size());
    return true;
}

} // namespace quillon
