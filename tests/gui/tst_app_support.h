#pragma once
// Shared by the main-window tests: a window controller wired to a temporary
// settings store and support folder, a desktop that only records what it was
// asked, and helpers that answer the window's modal dialogs.
#include "app/CommandState.h"
#include "app/CustomTableView.h"
#include "app/OpenPanel.h"
#include "app/QuillonAppDelegate.h"
#include "core/AppFolders.h"
#include "core/Process.h"
#include "core/Settings.h"
#include "common/ImageFactory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace quillon::apptest {

// Records every request the window makes of the desktop; nothing is opened.
struct RecordingDesktop {
    QList<QUrl> opened;
    QList<QStringList> shown;
    QList<QStringList> properties;
    QList<DesktopNotification> notifications;
    bool openSucceeds = true;

    DesktopIntegration integration()
    {
        DesktopIntegration d;
        d.openUrl = [this](const QUrl &url) {
            opened << url;
            return openSucceeds;
        };
        d.showItems = [this](const QStringList &paths) {
            shown << paths;
            return true;
        };
        d.showItemProperties = [this](const QStringList &paths) {
            properties << paths;
            return true;
        };
        d.notify = [this](const DesktopNotification &n) {
            notifications << n;
            return true;
        };
        return d;
    }
};


// A temporary world for one window: settings store, support folder, pictures.
class Fixture {
public:
    Fixture()
    {
        store = std::make_unique<QSettings>(dir.filePath(QStringLiteral("defaults.conf")), QSettings::IniFormat);
        store->setValue(QuillonAppDelegate::kLicenseAcceptedKey, true);
        store->sync();
    }

    QString path(const QString &relative) const { return dir.filePath(relative); }

    std::unique_ptr<QuillonAppDelegate> makeWindow(std::function<bool()> agreement = {})
    {
        QuillonAppEnvironment env;
        env.store = store.get();
        env.desktop = desktop.integration();
        env.runLicenseAgreement = agreement ? agreement : [] { return true; };
        env.supportFolder = dir.filePath(QStringLiteral("support"));
        // Permissions don't stop the superuser the tests may run as: folders
        // named "locked" count as not writable.
        env.isWritableFolder = [](const QString &path) { return QFileInfo(path).fileName() != QLatin1String("locked"); };
        return std::make_unique<QuillonAppDelegate>(env);
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> store;
    RecordingDesktop desktop;
};

inline bool writeImage(const QString &path, const char *format, const QColor &color = Qt::darkCyan, QSize size = QSize(24, 16))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage img(size, QImage::Format_RGB888);
    img.fill(color);
    return img.save(path, format);
}

inline bool writeMultiPageTiff(const QString &path, int pages)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return testing::writeTiff(path, testing::PageKind::Grey8, pages);
}

// The watchers of whenModal still waiting; parented here so a test's cleanup
// can stop them (stopModalWatchers), or one left over answers the dialog of
// the next test.
inline QObject *modalWatchers()
{
    static QPointer<QObject> parent;
    if (!parent)
        parent = new QObject(QCoreApplication::instance());
    return parent;
}

inline void stopModalWatchers() { qDeleteAll(modalWatchers()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly)); }

// Answers the next modal dialog that `match` accepts (polling, so it also
// works for dialogs run with exec()), then calls `act` with it.
inline void whenModal(std::function<bool(QWidget *)> match, std::function<void(QWidget *)> act, int timeoutMs = 10000)
{
    auto *timer = new QTimer(modalWatchers());
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, elapsed, match, act, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && match(modal)) {
            timer->stop();
            timer->deleteLater();
            act(modal);
            return;
        }
        if (elapsed->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// The texts of the next message box, answered with the button titled `button`.
struct AlertAnswer {
    QString text;
    QString informativeText;
    bool seen = false;
};

inline std::shared_ptr<AlertAnswer> answerNextAlert(const QString &button)
{
    auto answer = std::make_shared<AlertAnswer>();
    whenModal([](QWidget *w) { return qobject_cast<QMessageBox *>(w) != nullptr; },
              [answer, button](QWidget *w) {
                  auto *box = qobject_cast<QMessageBox *>(w);
                  answer->text = box->text();
                  answer->informativeText = box->informativeText();
                  answer->seen = true;
                  const auto buttons = box->buttons();
                  for (QAbstractButton *b : buttons) {
                      if (b->text().remove(QLatin1Char('&')) == button) {
                          b->click();
                          return;
                      }
                  }
                  box->defaultButton()->click();
              });
    return answer;
}

// The open panel that is showing now, if any.
inline OpenPanel *activePanel()
{
    return qobject_cast<OpenPanel *>(QApplication::activeModalWidget());
}

// Chooses paths in an open panel as the user would: go to their folder, type
// their names, press the accept button.
inline void choose(OpenPanel *panel, const QStringList &paths)
{
    QVERIFY(panel);
    QVERIFY(!paths.isEmpty());
    const QString folder = QFileInfo(paths.first()).absolutePath();
    panel->setDirectory(folder);
    QStringList names;
    for (const QString &p : paths)
        names << QFileInfo(p).fileName();
    auto *edit = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(names.size() == 1 ? names.first() : QLatin1Char('"') + names.join(QLatin1String("\" \"")) + QLatin1Char('"'));
    panel->accept();
}

} // namespace quillon::apptest
