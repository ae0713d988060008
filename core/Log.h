#pragma once
#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

namespace quillon {

// The record of one page taken for an output file.
struct LogFile {
    QString sourceFile;
    int sourcePageNo = 0;
    int targetPageNo = 0;
    QString status;
};
using LogFilePtr = std::shared_ptr<LogFile>;

// The record of one output file.
struct LogFiles {
    QString filename;
    QString targetPath;
    QString status;
    int pages = 0;
    // Lower-case hex SHA-256 of the file as written; empty when not asked for.
    QString sha256;
    QList<LogFilePtr> logFiles;
};
using LogFilesPtr = std::shared_ptr<LogFiles>;

// One run's log. Filled by the run's thread, saved once at its end, read by
// the main thread only after the run has finished.
class Log {
public:
    Log();

    QDateTime startTime;
    QDateTime endTime;
    QList<LogFilesPtr> files;
    // Attributes of the root element after the times, each left out when
    // empty: the machine that ran, and the part of a batch ("K/N").
    QString host;
    QString shard;

    const QString &logFilePath() const { return m_logFilePath; }

    // Writes the XML document to <support folder>/Logs/<endTime ddMMyyHHmmss>.log
    // (or to `logsFolder` when given), atomically and never over another log:
    // when that name is taken, "ddMMyyHHmmss-2.log", "-3", ... True when the
    // document was built, also if the write failed (which is logged).
    bool save(const QString &logsFolder = QString());

    // The document as saved (pretty-printed UTF-8 XML). Characters XML cannot
    // carry are written as xmlSafeText() shows them.
    QByteArray toXml() const;

    // Page records whose status is not "Completed": sources or pages lost
    // even when their output file was written.
    int pagesNotConverted() const;

    static QString logDateText(const QDateTime &date);  // "MM/dd/yyyy hh:mm:ss AM"
    static QString fileNameFor(const QDateTime &endTime); // "ddMMyyHHmmss.log"

private:
    QString m_logFilePath;
};

} // namespace quillon
