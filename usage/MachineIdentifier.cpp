#include "usage/MachineIdentifier.h"

#include <QFile>
#include <QMessageAuthenticationCode>

namespace quillon {

QStringList machineIdentifierFiles()
{
    return {QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")};
}

QString CopySerialNumber(const QStringList &files)
{
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // The id is 33 bytes; a line limit keeps a strange file from being read whole.
        const QString id = QString::fromUtf8(file.readLine(256)).trimmed().left(128);
        if (!id.isEmpty())
            return id;
    }
    return QString();
}

QString hashedMachineIdentifier(const QStringList &files)
{
    const QString id = CopySerialNumber(files);
    if (id.isEmpty())
        return QString();
    // Changing the key changes every machine's identifier in the reports.
    static const QByteArray key = QByteArrayLiteral("Orvanta Quillon Converter usage report v1");
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(id.toUtf8(), key, QCryptographicHash::Sha256).toHex());
}

} // namespace quillon
