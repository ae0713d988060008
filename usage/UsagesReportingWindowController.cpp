#include "usage/UsagesReportingWindowController.h"

#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "net/FormRequest.h"
#include "net/NetworkQueue.h"
#include "usage/MachineIdentifier.h"
#include "usage/StoredDate.h"

#include "ui_UsagesReporting.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QSaveFile>
#include <QToolBar>

#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

namespace quillon {
namespace {

// The file holds a few hundred bytes; anything this big is not ours to load.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

const char *const kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
const char *const kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

const xmlChar *xml(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

struct DocFree
{
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct ParserFree
{
    void operator()(xmlParserCtxt *ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XPathContextFree
{
    void operator()(xmlXPathContext *ctxt) const { xmlXPathFreeContext(ctxt); }
};
struct XPathObjectFree
{
    void operator()(xmlXPathObject *object) const { xmlXPathFreeObject(object); }
};
struct BufferFree
{
    void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

void logLine(const char *operation, const QString &reason)
{
    logError(QStringLiteral("Error in %1 : %2").arg(QLatin1String(operation), reason));
}

// Characters XML 1.0 can't carry would make the file unreadable; drop them.
QByteArray xmlText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u != 0xFFFE && u != 0xFFFF))
            clean.append(c);
    }
    return clean.toUtf8();
}

XPathObjectPtr evaluate(xmlXPathContext *context, xmlNode *node, const char *path)
{
    return XPathObjectPtr(xmlXPathNodeEval(node, xml(path), context));
}

// Text of the last node the path matches, if any matches.
std::optional<QString> lastText(xmlXPathContext *context, xmlNode *node, const char *path)
{
    const XPathObjectPtr result = evaluate(context, node, path);
    if (!result || !result->nodesetval || result->nodesetval->nodeNr <= 0)
        return std::nullopt;
    xmlNode *last = result->nodesetval->nodeTab[result->nodesetval->nodeNr - 1];
    xmlChar *content = xmlNodeGetContent(last);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(content));
    xmlFree(content);
    return text;
}

qint32 clampToInt32(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}

} // namespace

const QString UsagesReportingWindowController::kUsagesFileName = QStringLiteral("Usages.Log");
const QByteArray UsagesReportingWindowController::kUploadId = QByteArrayLiteral("wpf57h902136");
const QString UsagesReportingWindowController::kToolbarItemIdentifier = QStringLiteral("USAGESREPORTING");
const QString UsagesReportingWindowController::kReviewProductId = QStringLiteral("2007");

QStringList UsagesReportingWindowController::applicationFeatureNames()
{
    return {QStringLiteral("Single image to single TIFF"), QStringLiteral("Multiple images to single multi-Page TIFF"),
            QStringLiteral("Group of multiple images to multi-page TIFF in group")};
}

QString UsagesReportingWindowController::featureNameForCombineMode(int mode)
{
    return applicationFeatureNames().value(mode);
}

UsagesReportingWindowController::UsagesReportingWindowController(QWidget *mainWindow, const QString &supportFolder,
                                                                 QObject *parent)
    : UsagesReportingWindowController(mainWindow, supportFolder, Environment(), parent)
{
}

UsagesReportingWindowController::UsagesReportingWindowController(QWidget *mainWindow, const QString &supportFolder,
                                                                 Environment environment, QObject *parent)
    : QObject(parent)
    , m_env(std::move(environment))
    , m_mainWindow(mainWindow)
    , m_supportFolder(supportFolder)
{
    if (!m_env.now)
        m_env.now = [] { return QDateTime::currentDateTime(); };
    if (!m_env.openUrl)
        m_env.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    if (m_env.machineIdFiles.isEmpty())
        m_env.machineIdFiles = machineIdentifierFiles();
    if (m_env.executablePath.isEmpty())
        m_env.executablePath = QCoreApplication::applicationFilePath();
    while (m_env.siteURL.endsWith(QLatin1Char('/')))
        m_env.siteURL.chop(1);

    m_productName = getAppTitle();
    m_version = QStringLiteral(QUILLON_VERSION);
    m_buildDate = QFileInfo(m_env.executablePath).lastModified();
    m_isEnabled = false;
    m_features.clear();
    m_isReviewEnabled = false;
    m_reviewURL = m_env.siteURL;
    setReviewFileCountLimit(1000);
    m_lastReviewAskDate = now();
    m_neverAskForReview = false;
    m_nextReviewTargetValue = 0;
    m_hardwareUUID = CopySerialNumber(m_env.machineIdFiles);
    m_lastReportSentOn = now();
    m_networkQueue = new net::NetworkQueue(m_env.networkManager, this);
    if (m_env.uploadTimeoutMs > 0)
        m_networkQueue->setTimeoutInterval(m_env.uploadTimeoutMs);
    connect(m_networkQueue, &net::NetworkQueue::requestFinished, this, &UsagesReportingWindowController::postFinished);
    connect(m_networkQueue, &net::NetworkQueue::requestFailed, this, &UsagesReportingWindowController::postFailed);

    // A first start writes the file.
    if (!load())
        save();
}

UsagesReportingWindowController::~UsagesReportingWindowController()
{
    m_networkQueue->reset();
    if (m_reviewPanel) {
        m_reviewPanel->setDelegate(nullptr);
        delete m_reviewPanel;
    }
    delete m_sheet;
    delete m_sheetUi;
}

QString UsagesReportingWindowController::usagesFilePath() const
{
    if (m_supportFolder.isEmpty())
        return QString();
    return QDir(m_supportFolder).filePath(kUsagesFileName);
}

void UsagesReportingWindowController::configureForApplication()
{
    setReviewFileCountLimit(500);
    setIsReviewEnabled(true);
    setReviewURL(reviewPageURL());
    if (m_features.isEmpty()) {
        for (const QString &name : applicationFeatureNames())
            m_features.append(FeatureUsages::initWithName(name, 0, 0));
        save();
    }
}

QString UsagesReportingWindowController::reviewPageURL(const QString &productId) const
{
    return QStringLiteral("%1/review.php?pid=%2").arg(m_env.siteURL, productId);
}

QString UsagesReportingWindowController::uploadPageURL() const
{
    return m_env.siteURL + QStringLiteral("/error/usagesubmit.php");
}

void UsagesReportingWindowController::setReviewFileCountLimit(qint64 limit)
{
    m_reviewFileCountLimit = limit;
    if (m_nextReviewTargetValue == 0)
        m_nextReviewTargetValue = limit;
}

QCheckBox *UsagesReportingWindowController::enableUsagesReportingButton() const
{
    return m_sheet ? m_sheetUi->enableUsagesReportingButton : nullptr;
}

qint64 UsagesReportingWindowController::totalFilesCount() const
{
    qint64 total = 0;
    for (const FeatureUsages &feature : m_features)
        total += feature.filesCount();
    return total;
}

QDateTime UsagesReportingWindowController::now() const
{
    return m_env.now();
}

QTimeZone UsagesReportingWindowController::zone() const
{
    return m_env.timeZone.isValid() ? m_env.timeZone : QTimeZone::systemTimeZone();
}

// ---------------------------------------------------------------- the file

QString UsagesReportingWindowController::keepDamagedCopy()
{
    const QString path = usagesFilePath();
    const QString stamp = now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = QStringLiteral("%1.damaged-%2").arg(path, stamp);
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp).arg(n);
    // Copy when we can read it; otherwise move it, which needs no read access.
    if (QFile::copy(path, copy) || QFile::rename(path, copy))
        return copy;
    return QString();
}

bool UsagesReportingWindowController::load()
{
    m_fileDamaged = false;
    try {
        const QString path = usagesFilePath();
        if (path.isEmpty() || !QFileInfo::exists(path))
            return false;

        auto damaged = [this](const QString &reason) {
            m_fileDamaged = true;
            const QString copy = keepDamagedCopy();
            logLine("load", copy.isEmpty() ? reason : QStringLiteral("%1; a copy was kept as %2").arg(reason, copy));
        };

        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            damaged(QStringLiteral("%1 could not be read: %2").arg(path, file.errorString()));
            return false;
        }
        if (file.size() > kMaxFileSize) {
            damaged(QStringLiteral("%1 is too large (%2 bytes)").arg(path).arg(file.size()));
            return false;
        }
        const QByteArray data = file.read(kMaxFileSize + 1);
        if (file.error() != QFileDevice::NoError) {
            damaged(QStringLiteral("%1 could not be read: %2").arg(path, file.errorString()));
            return false;
        }
        file.close();

        std::unique_ptr<xmlParserCtxt, ParserFree> parser(xmlNewParserCtxt());
        if (!parser)
            throw std::bad_alloc();
        // Recover repairs what it can; no network, no entity expansion, no noise on stderr.
        DocPtr doc(xmlCtxtReadMemory(parser.get(), data.constData(), int(data.size()), nullptr, nullptr,
                                     XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
        if (!doc || !root) {
            damaged(QStringLiteral("%1 is not an XML document").arg(path));
            return true; // nothing to take; the next save writes what is in memory
        }
        if (!parser->wellFormed) {
            const xmlError *error = xmlCtxtGetLastError(parser.get());
            const QString message = error && error->message
                ? QStringLiteral("line %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed())
                : QStringLiteral("malformed XML");
            damaged(QStringLiteral("%1 is damaged and was read as far as possible: %2").arg(path, message));
        } else if (xmlStrcmp(root->name, xml("usagesreporting")) != 0) {
            damaged(QStringLiteral("%1 is not a usage file").arg(path));
        }

        std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(doc.get()));
        if (!context)
            throw std::bad_alloc();
        xmlNode *top = reinterpret_cast<xmlNode *>(doc.get());

        if (auto text = lastText(context.get(), top, "usagesreporting/productname"))
            m_productName = *text;
        if (auto text = lastText(context.get(), top, "usagesreporting/productversion"))
            m_version = *text;
        // A date that can't be read keeps the value in memory rather than losing it.
        auto readDate = [&](const char *xpath, QDateTime &target) {
            if (auto text = lastText(context.get(), top, xpath)) {
                const QDateTime date = parseStoredDate(*text, zone());
                if (date.isValid())
                    target = date;
            }
        };
        readDate("usagesreporting/builddate", m_buildDate);
        if (auto text = lastText(context.get(), top, "usagesreporting/enabled"); text && *text == QLatin1String("true"))
            m_isEnabled = true;
        readDate("usagesreporting/lastreportsenton", m_lastReportSentOn);
        readDate("usagesreporting/lastReviewAskDate", m_lastReviewAskDate);
        if (auto text = lastText(context.get(), top, "usagesreporting/neverAskForReview");
            text && *text == QLatin1String("true"))
            m_neverAskForReview = true;
        if (auto text = lastText(context.get(), top, "usagesreporting/nextReviewTargetValue"))
            m_nextReviewTargetValue = leadingInteger(*text);

        const XPathObjectPtr entries = evaluate(context.get(), top, "usagesreporting/features/featureusages");
        if (entries && entries->nodesetval) {
            for (int i = 0; i < entries->nodesetval->nodeNr; ++i) {
                xmlNode *entry = entries->nodesetval->nodeTab[i];
                const QString name = lastText(context.get(), entry, "name").value_or(QStringLiteral(""));
                const qint64 usages = leadingInteger(lastText(context.get(), entry, "usagescount").value_or(QString()));
                const qint64 files = leadingInteger(lastText(context.get(), entry, "filescount").value_or(QString()));
                m_features.append(FeatureUsages::initWithName(name, clampToInt32(usages), clampToInt32(files)));
            }
        }
        return true;
    } catch (const std::exception &e) {
        logLine("load", QString::fromLocal8Bit(e.what()));
        return false;
    }
}

bool UsagesReportingWindowController::save()
{
    try {
        const QString path = usagesFilePath();
        if (path.isEmpty()) {
            logLine("save", QStringLiteral("There is no support folder to write %1 to").arg(kUsagesFileName));
            return false;
        }
        if (!QDir().mkpath(m_supportFolder)) {
            logLine("save", QStringLiteral("Unable to create the folder %1").arg(m_supportFolder));
            return false;
        }

        DocPtr doc(xmlNewDoc(xml("1.0")));
        if (!doc)
            throw std::bad_alloc();
        // "--" may not appear inside a comment, nor may one end in "-".
        QString comment = QStringLiteral("%1 %2 Usages Reporting File").arg(m_productName, m_version);
        while (comment.contains(QLatin1String("--")))
            comment.replace(QLatin1String("--"), QLatin1String("- -"));
        if (comment.endsWith(QLatin1Char('-')))
            comment.append(QLatin1Char(' '));
        xmlAddChild(reinterpret_cast<xmlNode *>(doc.get()), xmlNewDocComment(doc.get(), xml(xmlText(comment).constData())));

        xmlNode *root = xmlNewDocNode(doc.get(), nullptr, xml("usagesreporting"), nullptr);
        xmlDocSetRootElement(doc.get(), root);
        xmlNewNs(root, xml(kXsiNamespace), xml("xsi"));
        xmlNewNs(root, xml(kXsdNamespace), xml("xsd"));

        auto element = [](xmlNode *parent, const char *name, const QString &text) {
            // xmlNewTextChild escapes the text; a null text gives an empty element.
            const QByteArray bytes = xmlText(text);
            return xmlNewTextChild(parent, nullptr, xml(name), text.isNull() ? nullptr : xml(bytes.constData()));
        };
        auto date = [this](const QDateTime &value) { return formatStoredDate(value, zone()); };
        auto boolean = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };

        element(root, "productname", m_productName);
        element(root, "productversion", m_version);
        element(root, "builddate", date(m_buildDate));
        element(root, "hardwareUUID", m_hardwareUUID);
        element(root, "enabled", boolean(m_isEnabled));
        element(root, "lastreportsenton", date(m_lastReportSentOn));
        element(root, "lastReviewAskDate", date(m_lastReviewAskDate));
        element(root, "neverAskForReview", boolean(m_neverAskForReview));
        element(root, "nextReviewTargetValue", QString::number(m_nextReviewTargetValue));
        xmlNode *features = xmlNewChild(root, nullptr, xml("features"), nullptr);
        for (const FeatureUsages &feature : m_features) {
            xmlNode *entry = xmlNewChild(features, nullptr, xml("featureusages"), nullptr);
            element(entry, "name", feature.name());
            element(entry, "usagescount", QString::number(feature.usagesCount()));
            element(entry, "filescount", QString::number(feature.filesCount()));
        }

        // Node by node, so nothing is added between the declaration, the comment and
        // the root; empty elements are written as a start and an end tag.
        std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
        if (!buffer)
            throw std::bad_alloc();
        xmlSaveCtxt *writer = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_NO_EMPTY | XML_SAVE_AS_XML);
        if (!writer)
            throw std::bad_alloc();
        for (xmlNode *node = doc->children; node; node = node->next)
            xmlSaveTree(writer, node);
        xmlSaveClose(writer);

        QByteArray document = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
        document.append(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())), xmlBufferLength(buffer.get()));

        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            logLine("save", QStringLiteral("Unable to write %1: %2").arg(path, file.errorString()));
            return false;
        }
        file.write(document);
        if (!file.commit()) {
            logLine("save", QStringLiteral("Unable to write %1: %2").arg(path, file.errorString()));
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        logLine("save", QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void UsagesReportingWindowController::updateUsages(const QString &featureName, qint32 totalFiles)
{
    try {
        const qint64 files = std::max<qint32>(totalFiles, 0);
        FeatureUsages *entry = nullptr;
        for (qsizetype i = m_features.size() - 1; i >= 0 && !entry; --i) {
            if (m_features[i].name() == featureName)
                entry = &m_features[i];
        }
        if (entry) {
            // Counters only grow; at the top of their range they stay there.
            entry->setUsagesCount(clampToInt32(qint64(entry->usagesCount()) + 1));
            entry->setFilesCount(clampToInt32(qint64(entry->filesCount()) + files));
        } else {
            m_features.append(FeatureUsages::initWithName(featureName, 1, qint32(files)));
        }
        save();
    } catch (const std::exception &e) {
        logLine("updateUsages", QString::fromLocal8Bit(e.what()));
    }
}

// ---------------------------------------------------------------- upload

bool UsagesReportingWindowController::submitReport()
{
    try {
        const QString path = usagesFilePath();
        if (path.isEmpty() || !QFileInfo::exists(path))
            return false;
        m_networkQueue->reset();

        const double seconds = double(now().toMSecsSinceEpoch()) / 1000.0;
        const QUrl url(QStringLiteral("%1?f=%2").arg(uploadPageURL(), QString::number(seconds, 'f', 6)));
        auto request = std::make_unique<net::FormRequest>(url);
        request->addRequestHeader("UPLOAD_ID", kUploadId);
        QString error;
        if (!request->addFile(path, QStringLiteral("file"), &error)) {
            logLine("submitReport", error);
            return false;
        }
        m_networkQueue->addOperation(request.release());
        m_networkQueue->go();
        return true;
    } catch (const std::exception &e) {
        logLine("submitReport", QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void UsagesReportingWindowController::postFinished(net::FormRequest *request)
{
    QString answer = request->responseString();
    answer.replace(QLatin1String("<br>"), QLatin1String("\n"));
    answer.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    const bool accepted = answer == QLatin1String("OK");
    if (accepted) {
        m_lastReportSentOn = now();
        save();
    }
    Q_EMIT reportUploadFinished(accepted);
}

void UsagesReportingWindowController::postFailed(net::FormRequest *)
{
    // Nothing to do: the next report carries the same running totals.
    Q_EMIT reportUploadFinished(false);
}

QPair<int, int> UsagesReportingWindowController::monthsAndDaysBetween(const QDateTime &fromDate,
                                                                      const QDateTime &toDate) const
{
    if (!fromDate.isValid() || !toDate.isValid() || toDate <= fromDate)
        return {0, 0};
    const QDateTime from = fromDate.toTimeZone(zone());
    const QDateTime to = toDate.toTimeZone(zone());
    int months = (to.date().year() - from.date().year()) * 12 + (to.date().month() - from.date().month());
    while (months > 0 && from.addMonths(months) > to)
        --months;
    const QDateTime anchor = from.addMonths(months);
    qint64 days = anchor.daysTo(to);
    while (days > 0 && anchor.addDays(days) > to)
        --days;
    return {months, int(days)};
}

void UsagesReportingWindowController::validate(bool checkReport)
{
    if (checkReport) {
        const int days = monthsAndDaysBetween(m_lastReportSentOn, now()).second;
        if (m_isEnabled && days > 29)
            submitReport();
    }
    reviewCheck();
}

// ---------------------------------------------------------------- toolbar

void UsagesReportingWindowController::initToolbar(QToolBar *toolbar, const QString &label)
{
    if (!toolbar)
        return;
    try {
        const QList<QAction *> items = toolbar->actions();
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i]->text() != label)
                continue;
            QAction *item = this->toolbar(toolbar, kToolbarItemIdentifier, true);
            toolbar->insertAction(items.value(i + 1, nullptr), item);
            return;
        }
    } catch (const std::exception &e) {
        logLine("initToolbar", QString::fromLocal8Bit(e.what()));
    }
}

QAction *UsagesReportingWindowController::toolbar(QToolBar *toolbar, const QString &itemIdentifier, bool)
{
    auto *item = new QAction(toolbar);
    item->setObjectName(itemIdentifier);
    if (itemIdentifier != kToolbarItemIdentifier)
        return item;
    item->setText(QStringLiteral("Usages Reporting"));
    item->setIconText(QStringLiteral("Usages Reporting"));
    item->setToolTip(QStringLiteral("Usages Reporting"));
    item->setProperty("paletteLabel", QStringLiteral("USAGESREPORTING"));
    item->setIcon(QIcon(QStringLiteral(":/images/usages.svg")));
    connect(item, &QAction::triggered, this, &UsagesReportingWindowController::usagesAction);
    return item;
}

// ---------------------------------------------------------------- sheet

QWidget *UsagesReportingWindowController::sheetParent() const
{
    if (m_mainWindow)
        return m_mainWindow->window();
    return QApplication::activeWindow();
}

QDialog *UsagesReportingWindowController::loadSheet()
{
    if (m_sheet)
        return m_sheet;
    delete m_sheetUi;
    m_sheetUi = new Ui::UsagesReporting;
    m_sheet = new QDialog(sheetParent());
    m_sheetUi->setupUi(m_sheet);
    m_sheetUi->iconLabel->setPixmap(QIcon(QStringLiteral(":/images/usages.svg")).pixmap(64, 64));
    // Read once, when loaded: a Cancel leaves the box as the user set it.
    m_sheetUi->enableUsagesReportingButton->setChecked(m_isEnabled);
    connect(m_sheetUi->applyButton, &QPushButton::clicked, this, &UsagesReportingWindowController::applyAction);
    connect(m_sheetUi->cancelButton, &QPushButton::clicked, this, &UsagesReportingWindowController::cancelAction);
    connect(m_sheetUi->submitButton, &QPushButton::clicked, this, &UsagesReportingWindowController::submitAction);
    connect(m_sheetUi->privacyPolicyButton, &QPushButton::clicked, this,
            &UsagesReportingWindowController::privacyPolicyAction);
    return m_sheet;
}

void UsagesReportingWindowController::usagesAction()
{
    QDialog *sheet = loadSheet();
    QWidget *parent = sheetParent();
    if (parent != sheet && sheet->parentWidget() != parent)
        sheet->setParent(parent, sheet->windowFlags() | Qt::Dialog);
    sheet->setWindowModality(sheet->parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    sheet->open();
    sheet->raise();
    sheet->activateWindow();
}

void UsagesReportingWindowController::applyAction()
{
    if (!m_sheet)
        return;
    m_isEnabled = m_sheetUi->enableUsagesReportingButton->isChecked();
    save();
    m_sheet->accept();
}

void UsagesReportingWindowController::cancelAction()
{
    if (m_sheet)
        m_sheet->reject();
}

void UsagesReportingWindowController::submitAction()
{
    showAlert(submitReport());
}

void UsagesReportingWindowController::privacyPolicyAction()
{
}

void UsagesReportingWindowController::showAlert(bool success)
{
    QWidget *parent = (m_sheet && m_sheet->isVisible()) ? static_cast<QWidget *>(m_sheet) : sheetParent();
    auto *alert = new QMessageBox(success ? QMessageBox::Information : QMessageBox::Critical,
                                  QStringLiteral("Usages Reporting :"),
                                  success ? QStringLiteral("Report submitted successfully.")
                                          : QStringLiteral("Unable to submit report!"),
                                  QMessageBox::Ok, parent);
    alert->setObjectName(QStringLiteral("usagesReportingAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    alert->open();
}

// ---------------------------------------------------------------- review

void UsagesReportingWindowController::reviewCheck()
{
    if (!m_isReviewEnabled || m_neverAskForReview)
        return;
    const qint64 total = totalFilesCount();
    if (total > 0 && total >= m_nextReviewTargetValue)
        submitReview();
}

void UsagesReportingWindowController::submitReview()
{
    try {
        if (!m_reviewPanel) {
            m_reviewPanel = new ReviewWindowController(this);
            m_reviewPanel->setDelegate(this);
            m_reviewPanel->setUrlOpener(m_env.openUrl);
        }
        m_reviewPanel->setReviewURL(m_reviewURL);
        m_reviewPanel->setNeverAskForReview(m_neverAskForReview);
        m_reviewPanel->showWindow(sheetParent());
    } catch (const std::exception &e) {
        logLine("submitReview", QString::fromLocal8Bit(e.what()));
    }
}

void UsagesReportingWindowController::reviewWindowControllerDidFinished(ReviewWindowController *controller)
{
    const qint64 total = totalFilesCount();
    m_neverAskForReview = controller->neverAskForReview();
    m_lastReviewAskDate = now();
    m_nextReviewTargetValue = saturatingAdd(total, m_reviewFileCountLimit);
    save();
}

} // namespace quillon
