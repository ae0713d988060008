#pragma once
#include "usage/FeatureUsages.h"
#include "usage/ReviewWindowController.h"
#include "usage/UsageFile.h"

#include <QDateTime>
#include <QList>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QUrl>

#include <functional>

class QAction;
class QCheckBox;
class QNetworkAccessManager;
class QToolBar;

namespace Ui {
class UsagesReporting;
}

namespace quillon {

namespace net {
class FormRequest;
class NetworkQueue;
} // namespace net

// The usage statistics store: per-feature use and file counts kept in
// "Usages.Log" in the support folder, the report upload and its sheet, and the
// review prompt. One per process, owned by the main window's controller.
//
// Wiring in the main window (main thread only):
//
//   // while the window is set up, after it was brought to the front:
//   usagesReport = new UsagesReportingWindowController(mainWindow, quillon::getAppPath(), this);
//   usagesReport->configureForApplication();   // review limit 500, enabled, review page, three features
//   // when launching has finished:
//   usagesReport->validate(false);             // shows the review prompt when it is due
//   // when the progress panel of a run is closed:
//   const QString feature = UsagesReportingWindowController::featureNameForCombineMode(mode);
//   if (!feature.isEmpty())
//       usagesReport->updateUsages(feature, process->totalFileProcessed());
//   // Help menu "Review Us": usagesReport->submitReview();
//   // "Rate Us": QDesktopServices::openUrl(QUrl(usagesReport->reviewURL()));
//
// The constructor loads the file, or writes a new one when there is none.
// Failures are written to the system log ("Error in save : ..."); nothing throws.
class UsagesReportingWindowController : public QObject, public ReviewWindowControllerDelegate
{
    Q_OBJECT

public:
    // What touches the outside world; tests replace parts of it.
    struct Environment
    {
        // The maker's web site; the upload and review pages live under it.
        QString siteURL = QStringLiteral("http://" QUILLON_WEB_HOST);
        std::function<QDateTime()> now;                // default: the current time
        QTimeZone timeZone; // zone of the stored dates; default: the system zone at that moment
        std::function<bool(const QUrl &)> openUrl;     // default: QDesktopServices::openUrl
        QStringList machineIdFiles;                    // default: machineIdentifierFiles()
        QString executablePath;                        // default: the running program
        QNetworkAccessManager *networkManager = nullptr; // default: the queue's own
        int uploadTimeoutMs = 0;                       // 0: the queue's default, 10 s
    };

    static const QString kUsagesFileName;   // "Usages.Log"
    static const QByteArray kUploadId;      // value of the "UPLOAD_ID" header
    static const QString kToolbarItemIdentifier; // "USAGESREPORTING"
    static const QString kReviewProductId;  // "2007"

    // The feature counted for a combine mode 0, 1 or 2; empty for any other mode.
    static QString featureNameForCombineMode(int mode);
    static QStringList applicationFeatureNames();

    // mainWindow carries the sheets (may be null: they then show application-modal).
    UsagesReportingWindowController(QWidget *mainWindow, const QString &supportFolder, QObject *parent = nullptr);
    UsagesReportingWindowController(QWidget *mainWindow, const QString &supportFolder, Environment environment,
                                    QObject *parent = nullptr);
    ~UsagesReportingWindowController() override;

    QWidget *mainWindow() const { return m_mainWindow; }
    void setMainWindow(QWidget *window) { m_mainWindow = window; }
    QString supportFolder() const { return m_supportFolder; }
    QString usagesFilePath() const;

    // The application's start-up settings: review limit 500, review prompt on,
    // the review page; when no features are listed, the three modes' entries and a save.
    void configureForApplication();

    // --- the statistics (plain accessors; setters don't save) ---
    QString productName() const { return m_productName; }
    void setProductName(const QString &name) { m_productName = name; }
    QString version() const { return m_version; }
    void setVersion(const QString &version) { m_version = version; }
    QDateTime buildDate() const { return m_buildDate; }
    void setBuildDate(const QDateTime &date) { m_buildDate = date; }
    QString hardwareUUID() const { return m_hardwareUUID; }
    void setHardwareUUID(const QString &uuid) { m_hardwareUUID = uuid; }
    bool isEnabled() const { return m_isEnabled; }
    void setIsEnabled(bool enabled) { m_isEnabled = enabled; }
    QDateTime lastReportSentOn() const { return m_lastReportSentOn; }
    void setLastReportSentOn(const QDateTime &date) { m_lastReportSentOn = date; }
    // The live list, in insertion order; callers may add to it directly.
    QList<FeatureUsages> &features() { return m_features; }
    const QList<FeatureUsages> &features() const { return m_features; }
    bool isReviewEnabled() const { return m_isReviewEnabled; }
    void setIsReviewEnabled(bool enabled) { m_isReviewEnabled = enabled; }
    QString reviewURL() const { return m_reviewURL; }
    void setReviewURL(const QString &url) { m_reviewURL = url; }
    qint64 reviewFileCountLimit() const { return m_reviewFileCountLimit; }
    // Also sets nextReviewTargetValue to the limit while that is still 0.
    void setReviewFileCountLimit(qint64 limit);
    QDateTime lastReviewAskDate() const { return m_lastReviewAskDate; }
    void setLastReviewAskDate(const QDateTime &date) { m_lastReviewAskDate = date; }
    bool neverAskForReview() const { return m_neverAskForReview; }
    void setNeverAskForReview(bool never) { m_neverAskForReview = never; }
    qint64 nextReviewTargetValue() const { return m_nextReviewTargetValue; }
    void setNextReviewTargetValue(qint64 value) { m_nextReviewTargetValue = value; }
    net::NetworkQueue *networkQueue() const { return m_networkQueue; }
    // Nullptr until the sheet was first shown.
    QCheckBox *enableUsagesReportingButton() const;
    QDialog *usagesReportingSheet() const { return m_sheet; }
    // Nullptr until the review prompt was first shown.
    ReviewWindowController *reviewPanel() const { return m_reviewPanel; }

    // Sum of filesCount over all features.
    qint64 totalFilesCount() const;

    // --- the file ---
    // False when there is no file or it can't be read. A damaged file is read as far
    // as it goes (true), a copy of it is kept beside it and it is rewritten at
    // once; so is a file whose hardwareUUID is not this machine's keyed hash.
    bool load();
    // Writes the file atomically, under a lock file shared with other processes:
    // what this process changed since its last load or save goes onto the file as
    // it is now (counts are added, other values this process changed replace the
    // file's, the rest is kept), and the result becomes this store's values.
    // False (and a log line) when that fails. While another process holds the
    // file's lock past a short bound, nothing is written: false, and a timer
    // saves again (the counts stay in memory meanwhile).
    bool save();
    // One more use of the feature with this many files (a negative count adds none); saves.
    void updateUsages(const QString &featureName, qint32 totalFiles);

    // --- upload ---
    // Starts sending the usage file; false when there is none. Doesn't wait for the server.
    bool submitReport();
    void postFinished(net::FormRequest *request);
    void postFailed(net::FormRequest *request);
    // With true, first sends a report when reporting is allowed and the days past
    // whole months since the last one exceed 29; then, always, the review check.
    void validate(bool checkReport);
    // Whole months and remaining days from one date to another (Gregorian, in the
    // store's zone); both negative or zero when 'to' is not after 'from'.
    QPair<int, int> monthsAndDaysBetween(const QDateTime &from, const QDateTime &to) const;

    // Inserts the "USAGESREPORTING" item after the first item whose text is label.
    void initToolbar(QToolBar *toolbar, const QString &label);
    // The toolbar item for an identifier, parented to the toolbar: the usage
    // reporting item, or a new empty item for any other identifier.
    QAction *toolbar(QToolBar *toolbar, const QString &itemIdentifier, bool willBeInsertedIntoToolbar);

    // --- review ---
    // Shows the review prompt whatever the counts.
    void submitReview();
    void reviewWindowControllerDidFinished(ReviewWindowController *controller) override;

    // The review page on the maker's site for a product id.
    QString reviewPageURL(const QString &productId = kReviewProductId) const;
    QString uploadPageURL() const;

public Q_SLOTS:
    // Shows the usage reporting sheet (loaded on first use) on the main window.
    void usagesAction();
    void applyAction();
    void cancelAction();
    void submitAction();
    void privacyPolicyAction();

Q_SIGNALS:
    // A report upload ended: accepted is true only for an "OK" answer.
    void reportUploadFinished(bool accepted);

private:
    QDateTime now() const;
    QTimeZone zone() const;
    QWidget *sheetParent() const;
    QDialog *loadSheet();
    void reviewCheck();
    void showAlert(bool success);
    QString keepDamagedCopy();
    UsageRecord record() const;
    void setRecord(const UsageRecord &record);

    Environment m_env;
    QPointer<QWidget> m_mainWindow;
    QString m_supportFolder;
    bool m_fileDamaged = false;
    UsageRecord m_saved; // the values as this process last read or wrote them
    bool m_saveWaiting = false; // a save found the lock busy; a timer tries again
    static constexpr int kSaveRetryMsecs = 1000;

    QString m_productName;
    QString m_version;
    QDateTime m_buildDate;
    QString m_hardwareUUID;
    bool m_isEnabled = false;
    QDateTime m_lastReportSentOn;
    QList<FeatureUsages> m_features;
    bool m_isReviewEnabled = false;
    QString m_reviewURL;
    qint64 m_reviewFileCountLimit = 0;
    QDateTime m_lastReviewAskDate;
    bool m_neverAskForReview = false;
    qint64 m_nextReviewTargetValue = 0;
    net::NetworkQueue *m_networkQueue = nullptr;

    QPointer<QDialog> m_sheet;
    Ui::UsagesReporting *m_sheetUi = nullptr;
    ReviewWindowController *m_reviewPanel = nullptr;
};

} // namespace quillon
