// The settings loader: the settings file as QSettings reads it, the "SETTINGS"
// dictionary taken from it, and the archived form of the record.
#include "core/Settings.h"
#include "fuzz/FuzzSupport.h"

#include <QDataStream>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication(true);
    static QTemporaryDir dir;
    static int serial = 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // A new name each time: QSettings keeps files it has read in a cache.
    const QString path = dir.filePath(QStringLiteral("s%1.conf").arg(++serial));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            abort();
    }
    {
        QSettings store(path, QSettings::IniFormat);
        Settings settings(&store);
        const QVariantMap d = settings.getData();
        if (d.size() != 10)
            abort();
        // Once through the load rules, the stored form reads back as the same record.
        Settings copy(&store);
        copy.setData(d);
        const QVariantMap once = copy.getData();
        copy.setData(once);
        if (copy.getData() != once)
            abort();
        for (const QString &key : store.allKeys())
            (void)store.value(key);
    }
    QFile::remove(path);

    QDataStream in(bytes);
    static QSettings empty(dir.filePath(QStringLiteral("empty.conf")), QSettings::IniFormat);
    Settings archived(&empty);
    archived.initWithCoder(in);
    return 0;
}
