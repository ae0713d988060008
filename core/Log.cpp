#include "core/Log.h"

#include "core/AppFolders.h"
#include "core/SafeOutputFile.h"
#include "core/SystemLog.h"
#include "core/XmlText.h"

#include <QDir>
#include <QLocale>

#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <cerrno>
#include <exception>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace quillon {
namespace {

struct DocDeleter {
    void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};

const xmlChar *x(const QByteArray &b) { return reinterpret_cast<const xmlChar *>(b.constData()); }

void addAttribute(xmlNode *node, const char *name, const QString &value)
{
    // A name may hold characters XML cannot carry; the log must parse whatever names hold.
    if (!xmlNewProp(node, reinterpret_cast<const xmlChar *>(name), x(xmlSafeText(value).toUtf8())))
        throw std::runtime_error("could not add an attribute to the log document");
}

xmlNode *addElement(xmlNode *parent, const char *name)
{
    xmlNode *n = xmlNewChild(parent, nullptr, reinterpret_cast<const xmlChar *>(name), nullptr);
    if (!n)
        throw std::runtime_error("could not add an element to the log document");
    return n;
}

} // namespace

Log::Log()
    : startTime(QDateTime::currentDateTime())
    , endTime(startTime)
{
}

QString Log::logDateText(const QDateTime &date)
{
    return QLocale().toString(date.toLocalTime(), QStringLiteral("MM/dd/yyyy hh:mm:ss AP"));
}

QString Log::fileNameFor(const QDateTime &endTime)
{
    return endTime.toLocalTime().toString(QStringLiteral("ddMMyyHHmmss")) + QStringLiteral(".log");
}

QByteArray Log::toXml() const
{
    std::unique_ptr<xmlDoc, DocDeleter> doc(xmlNewDoc(reinterpret_cast<const xmlChar *>("1.0")));
    if (!doc)
        throw std::runtime_error("could not create the log document");
    xmlNode *root = xmlNewNode(nullptr, reinterpret_cast<const xmlChar *>("Log"));
    if (!root)
        throw std::runtime_error("could not create the log document");
    xmlDocSetRootElement(doc.get(), root);
    addAttribute(root, "StartTime", logDateText(startTime));
    addAttribute(root, "EndTime", logDateText(endTime));
    if (!host.isEmpty())
        addAttribute(root, "Host", host);
    if (!shard.isEmpty())
        addAttribute(root, "Shard", shard);
    for (const LogFilesPtr &f : files) {
        xmlNode *fe = addElement(root, "Files");
        addAttribute(fe, "FileName", f->filename);
        addAttribute(fe, "TargetPath", f->targetPath);
        addAttribute(fe, "Status", f->status);
        addAttribute(fe, "Pages", QString::number(f->pages));
        if (!f->sha256.isEmpty())
            addAttribute(fe, "SHA256", f->sha256);
        for (const LogFilePtr &p : f->logFiles) {
            xmlNode *pe = addElement(fe, "File");
            addAttribute(pe, "SourceImageFile", p->sourceFile);
            addAttribute(pe, "SourcePageNo", QString::number(p->sourcePageNo));
            addAttribute(pe, "PageNo", QString::number(p->targetPageNo));
            addAttribute(pe, "Status", p->status);
        }
    }
    xmlChar *mem = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &mem, &size, "UTF-8", 1);
    if (!mem)
        throw std::runtime_error("could not serialise the log document");
    QByteArray out(reinterpret_cast<const char *>(mem), size);
    xmlFree(mem);
    return out;
}

bool Log::save(const QString &logsFolder)
{
    try {
        const QByteArray xml = toXml();
        const QString folder = logsFolder.isEmpty() ? QDir(getAppPath()).filePath(QStringLiteral("Logs")) : logsFolder;
        m_logFilePath = QDir(folder).filePath(fileNameFor(endTime));
        // Written whole first, then named without replacing: a run ending in the
        // same second as another (this process or any other) takes the next
        // free "-2", "-3", ... name.
        SafeOutputFile file(m_logFilePath);
        bool written = file.open(nullptr) && file.write(xml);
        if (written) {
            const QString stem = m_logFilePath.chopped(4);
            written = false;
            for (int n = 1; n <= 10000 && !written; ++n) {
                const QString path = n == 1 ? m_logFilePath : QStringLiteral("%1-%2.log").arg(stem, QString::number(n));
                int err = 0;
                if (file.commit(nullptr, &err, path, false)) {
                    m_logFilePath = path;
                    written = true;
                } else if (err != EEXIST) {
                    break;
                }
            }
        }
        if (!written)
            logError(QStringLiteral("Could not write document out..."));
        return true;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (Log=>save) : %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
}

int Log::pagesNotConverted() const
{
    int count = 0;
    for (const LogFilesPtr &file : files)
        for (const LogFilePtr &page : file->logFiles)
            if (page->status != QLatin1String("Completed"))
                ++count;
    return count;
}

} // namespace quillon
