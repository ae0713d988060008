#include "core/ExportList.h"

#include "core/SystemLog.h"

#include <QLocale>
#include <QSaveFile>

#include <exception>

namespace quillon {

QString exportDateText(const QDateTime &date)
{
    if (!date.isValid())
        return QString();
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

QByteArray exportText(const QList<FileItemPtr> &files)
{
    QString text = QStringLiteral("Name\tPages\tSize\tType\tModified Date\tAccessed Date\tCreated Date\tLocation\n");
    for (const FileItemPtr &f : files) {
        if (!f)
            continue;
        text += f->name() + QLatin1Char('\t') + QString::number(f->pages()) + QLatin1Char('\t') + f->sizeInKB() + QLatin1Char('\t')
            + f->type() + QLatin1Char('\t') + exportDateText(f->dateModified()) + QLatin1Char('\t')
            + exportDateText(f->dateAccessed()) + QLatin1Char('\t') + exportDateText(f->dateCreated()) + QLatin1Char('\t')
            + f->location() + QLatin1Char('\n');
    }
    return text.toUtf8();
}

bool exportFileList(const QList<FileItemPtr> &files, const QString &path, QString *error)
{
    try {
        const QByteArray bytes = exportText(files);
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
            if (error)
                *error = out.errorString();
            out.cancelWriting();
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (export) : %1").arg(QString::fromLocal8Bit(e.what())));
        if (error)
            *error = QString::fromLocal8Bit(e.what());
        return false;
    }
}

QString suggestedExportName(const QDateTime &now)
{
    return QStringLiteral("Export %1.txt").arg(QLocale().toString(now, QStringLiteral("dd-MMM-yyyy hh-mm-ss AP")));
}

} // namespace quillon
