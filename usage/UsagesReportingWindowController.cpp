#include "usage/UsagesReportingWindowController.h"

#include "core/AppFolders.h"
#include "core/SafeOutputFile.h"
#include "core/SharedSettings.h"
#include "core/SystemLog.h"
#include "net/FormRequest.h"
#include "net/NetworkQueue.h"
#include "usage/MachineIdentifier.h"
#include "usage/StoredDate.h"
#include "usage/UsageFile.h"

#include "ui_UsagesReporting.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLockFile>
#include <QMessageBox>
#include <QTimer>
#include <QToolBar>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unistd.h>

namespace quillon {
namespace {

void logLine(const char *operation, const QString &reason)
{
    logError(QStringLiteral("Error in %1 : %2").arg(QLatin1String(operation), reason));
}

qint32 clampToInt32(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

// Reads at most the cap; false with a reason when the file can't be read whole.
bool readCapped(const QString &path, QByteArray *data, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("%1 could not be read: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxUsageFileSize) {
        *why = QStringLiteral("%1 is too large (%2 bytes)").arg(path, QString::number(file.size()));
        return false;
    }
    *data = file.read(kMaxUsageFileSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *why = QStringLiteral("%1 could not be read: %2").arg(path, file.errorString());
        return false;
    }
    if (data->size() > kMaxUsageFileSize) { // grew since its size was taken
        *why = QStringLiteral("%1 is too large (more than %2 bytes)").arg(path, QString::number(kMaxUsageFileSize));
        return false;
    }
    return true;
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
    m_hardwareUUID = hashedMachineIdentifier(m_env.machineIdFiles);
    m_lastReportSentOn = now();
    m_networkQueue = new net::NetworkQueue(m_env.networkManager, this);
    if (m_env.uploadTimeoutMs > 0)
        m_networkQueue->setTimeoutInterval(m_env.uploadTimeoutMs);
    connect(m_networkQueue, &net::NetworkQueue::requestFinished, this, &UsagesReportingWindowController::postFinished);
    connect(m_networkQueue, &net::NetworkQueue::requestFailed, this, &UsagesReportingWindowController::postFailed);

    m_saved = record();
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
        copy = QStringLiteral("%1.damaged-%2-%3").arg(path, stamp, QString::number(n));
    // Copy when we can read it; otherwise move it, which needs no read access.
    if (QFile::copy(path, copy) || QFile::rename(path, copy))
        return copy;
    return QString();
}

UsageRecord UsagesReportingWindowController::record() const
{
    UsageRecord r;
    r.productName = m_productName;
    r.version = m_version;
    r.buildDate = m_buildDate;
    r.hardwareUUID = m_hardwareUUID;
    r.isEnabled = m_isEnabled;
    r.lastReportSentOn = m_lastReportSentOn;
    r.lastReviewAskDate = m_lastReviewAskDate;
    r.neverAskForReview = m_neverAskForReview;
    r.nextReviewTargetValue = m_nextReviewTargetValue;
    r.features = m_features;
    return r;
}

void UsagesReportingWindowController::setRecord(const UsageRecord &r)
{
    m_productName = r.productName;
    m_version = r.version;
    m_buildDate = r.buildDate;
    m_hardwareUUID = r.hardwareUUID;
    m_isEnabled = r.isEnabled;
    m_lastReportSentOn = r.lastReportSentOn;
    m_lastReviewAskDate = r.lastReviewAskDate;
    m_neverAskForReview = r.neverAskForReview;
    m_nextReviewTargetValue = r.nextReviewTargetValue;
    m_features = r.features;
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

        QByteArray data;
        QString why;
        if (!readCapped(path, &data, &why)) {
            damaged(why);
            return false;
        }
        UsageRecord r = record();
        const QString ownId = r.hardwareUUID;
        r.hardwareUUID.clear();
        QString problem;
        switch (readUsageDocument(data, zone(), &r, &problem)) {
        case UsageDocument::Clean:
            break;
        case UsageDocument::Repaired:
            damaged(QStringLiteral("%1 is damaged and was read as far as possible: %2").arg(path, problem));
            break;
        case UsageDocument::NotUsageFile:
            damaged(QStringLiteral("%1 is not a usage file").arg(path));
            break;
        case UsageDocument::NotXml:
            damaged(QStringLiteral("%1 is not an XML document").arg(path));
            break;
        }
        const QString storedId = r.hardwareUUID;
        r.hardwareUUID = ownId;
        setRecord(r);
        m_saved = r;
        // Rewritten at once: a recovered file, so the next start finds it whole
        // (and keeps no second copy); a file naming the machine by anything but
        // its keyed hash, before a report could send it.
        if (m_fileDamaged || (!storedId.isEmpty() && storedId != ownId))
            save();
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

        // Other processes (both editions, several windows) count into the same
        // file: under the lock, this process's changes go onto what is there now.
        // Never long on the window's thread, never without the lock: a busy
        // lock leaves the counts in memory for a later save.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (!lock.tryLock(kSharedSettingsLockMsecs)) {
            if (lock.error() == QLockFile::LockFailedError) {
                if (!m_saveWaiting) {
                    m_saveWaiting = true;
                    QTimer::singleShot(kSaveRetryMsecs, this, [this] {
                        if (m_saveWaiting)
                            save();
                    });
                }
                return false;
            }
            logLine("save", QStringLiteral("Unable to lock %1 (error %2)").arg(path, QString::number(int(lock.error()))));
            return false;
        }
        m_saveWaiting = false;
        UsageRecord onDisk = m_saved;
        QByteArray data;
        QString why;
        if (QFileInfo::exists(path) && readCapped(path, &data, &why)) {
            // Read as a start reads it: what the file lacks stays as this process
            // knows it, the booleans are true only when the file says so.
            UsageRecord fresh = m_saved;
            fresh.isEnabled = false;
            fresh.neverAskForReview = false;
            fresh.features.clear();
            // A file that doesn't read cleanly holds nothing newer than what this process saw.
            if (readUsageDocument(data, zone(), &fresh) == UsageDocument::Clean)
                onDisk = fresh;
        }
        const UsageRecord merged = mergeUsageRecords(onDisk, m_saved, record());
        const QByteArray document = writeUsageDocument(merged, zone());

        SafeOutputFile file(path);
        why.clear();
        if (!file.open(&why) || !file.write(document) || !file.commit(&why)) {
            if (why.isEmpty())
                why = QString::fromLocal8Bit(std::strerror(errno));
            logLine("save", QStringLiteral("Unable to write %1: %2").arg(path, why));
            return false;
        }
        setRecord(merged);
        m_saved = merged;
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
        QByteArray data;
        QString error;
        if (!readCapped(path, &data, &error)) {
            logLine("submitReport", error);
            return false;
        }
        const QString name = QFileInfo(path).fileName();
        request->addData(data, name, net::contentTypeForFileName(name), QStringLiteral("file"));
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
    item->setText(tr("Usages Reporting"));
    item->setIconText(tr("Usages Reporting"));
    item->setToolTip(tr("Usages Reporting"));
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
                                  tr("Usages Reporting :"),
                                  success ? tr("Report submitted successfully.") : tr("Unable to submit report!"),
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
