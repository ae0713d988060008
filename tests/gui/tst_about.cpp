// The About window: its six outlets, the support mail link (built, escaped and
// opened), the sheet and the replacement of one About window by the next.
#include "core/AppFolders.h"
#include "widgets/HyperlinkButton.h"
#include "windows/AboutWindowController.h"
#include "windows/AppImages.h"
#include "windows/AppWindows.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace quillon;

namespace {

const QString kNote = QStringLiteral(
    "Note:\rPlease explain your issues with details if necessary with screenshot of application.");

template<typename T>
T *outlet(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

QString queryValue(const QString &address, const QString &key)
{
    return QUrlQuery(QUrl(address, QUrl::StrictMode)).queryItemValue(key, QUrl::FullyDecoded);
}

} // namespace

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    void outlets();
    void logoShowsTheIcon();
    void mailAddress_data();
    void mailAddress();
    void mailAddressOfTheWindow();
    void linkOpensTheAddress();
    void okEndsTheSheet();
    void aboutActionReplacesThePreviousWindow();
    void hyperlinkButtonActivation_data();
    void hyperlinkButtonActivation();
    void images_data();
    void images();
};

void AboutTest::outlets()
{
    AboutWindowController c;
    QVERIFY(!c.isWindowLoaded());
    QDialog *w = c.window();
    QCOMPARE(w->objectName(), QStringLiteral("About"));
    const QString title = getAppTitle();
    QCOMPARE(title, QStringLiteral("Quillon Converter"));

    QCOMPARE(outlet<QLabel>(w, "titleLabel")->text(), QStringLiteral("Quillon Converter (%1)").arg(QStringLiteral(QUILLON_VERSION)));
    QCOMPARE(outlet<QLabel>(w, "headerLabel")->text(), QStringLiteral("Thank you for using Quillon Converter."));
    QCOMPARE(outlet<QLabel>(w, "copyrightLabel")->text(), QStringLiteral(QUILLON_COPYRIGHT));
    QCOMPARE(outlet<QPushButton>(w, "okButton")->toolTip(), QStringLiteral("Click to continue with Quillon Converter."));
    auto *link = outlet<HyperlinkButton>(w, "emailLink");
    QVERIFY(link);
    QCOMPARE(link->text(), QStringLiteral(QUILLON_SUPPORT_EMAIL));
    QCOMPARE(w->height(), 207);

    // Shown, the window keeps that height and shows every outlet.
    const int width = w->width();
    QMainWindow main;
    main.resize(800, 600);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    c.showWindow(&main);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->height(), 207);
    QCOMPARE(w->width(), width);
    for (const char *name : {"logoImage", "titleLabel", "headerLabel", "emailLink", "copyrightLabel", "okButton"}) {
        QWidget *o = outlet<QWidget>(w, name);
        QVERIFY2(o && o->isVisible(), name);
        QVERIFY2(w->rect().contains(o->geometry().translated(o->parentWidget()->mapTo(w, QPoint()))), name);
    }
}

void AboutTest::logoShowsTheIcon()
{
    AboutWindowController c;
    const QPixmap logo = outlet<QLabel>(c.window(), "logoImage")->pixmap();
    QVERIFY(!logo.isNull());
    QCOMPARE(logo.deviceIndependentSize().toSize(), QSize(64, 64));
    // Drawn, not blank: the centre of the icon is opaque.
    const QImage img = logo.toImage();
    QCOMPARE(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255);
}

void AboutTest::mailAddress_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("titleLine");
    QTest::addColumn<QString>("expected"); // exact address, empty: only check by decoding

    QTest::newRow("two-word title")
        << QStringLiteral("support@orvanta.example") << QStringLiteral("Quillon Converter (2.0.0)")
        << QStringLiteral("mailto:support@orvanta.example?subject=Support%20for%20%5BQuillon%20Converter%20(2.0.0)%5D"
                          "&body=Note:%0DPlease%20explain%20your%20issues%20with%20details%20if%20necessary%20with%20"
                          "screenshot%20of%20application.");
    QTest::newRow("non-ASCII title as UTF-8 bytes")
        << QStringLiteral("help@example.org") << QStringLiteral("Quillon Konvertér (2.0)")
        << QStringLiteral("mailto:help@example.org?subject=Support%20for%20%5BQuillon%20Konvert%C3%A9r%20(2.0)%5D"
                          "&body=Note:%0DPlease%20explain%20your%20issues%20with%20details%20if%20necessary%20with%20"
                          "screenshot%20of%20application.");
    QTest::newRow("title outside the BMP") << QStringLiteral("a@b.example") << QStringLiteral("Q \U0001F5BC (1)") << QString();
    // Query delimiters in a title must not cut the subject or the body short.
    QTest::newRow("ampersand and equals") << QStringLiteral("a@b.example") << QStringLiteral("Scan & Save = TIFF (1)") << QString();
    QTest::newRow("hash, plus, percent, question")
        << QStringLiteral("a@b.example") << QStringLiteral("C++ #1 100% ok? (3)") << QString();
    QTest::newRow("quotes and angle brackets")
        << QStringLiteral("a@b.example") << QStringLiteral("\"Q\" <x> {y} |z| \\ ^ ` (4)") << QString();
}

void AboutTest::mailAddress()
{
    QFETCH(QString, email);
    QFETCH(QString, titleLine);
    QFETCH(QString, expected);

    const QString address = AboutWindowController::supportMailAddress(email, titleLine);
    if (!expected.isEmpty())
        QCOMPARE(address, expected);

    // Only legal URL characters are left; a mail program decodes the message back.
    for (const QChar ch : address) {
        QVERIFY2(ch.unicode() > 32 && ch.unicode() < 127, qPrintable(address));
        QVERIFY2(!QStringLiteral(" []<>\"{}|\\^`\r\n").contains(ch), qPrintable(address));
    }
    QCOMPARE(address.count(QLatin1Char('?')), 1);
    QCOMPARE(address.count(QLatin1Char('&')), 1);
    const QUrl url(address, QUrl::StrictMode);
    QVERIFY2(url.isValid(), qPrintable(url.errorString()));
    QCOMPARE(url.scheme(), QStringLiteral("mailto"));
    QCOMPARE(url.path(), email);
    QCOMPARE(queryValue(address, QStringLiteral("subject")), QStringLiteral("Support for [%1]").arg(titleLine));
    QCOMPARE(queryValue(address, QStringLiteral("body")), kNote);
    QVERIFY(address.contains(QLatin1String("Note:%0DPlease")));
}

void AboutTest::mailAddressOfTheWindow()
{
    AboutWindowController c;
    QDialog *w = c.window();
    const QString title = outlet<QLabel>(w, "titleLabel")->text();
    const QString address = c.mailAddress();
    QCOMPARE(address, AboutWindowController::supportMailAddress(QStringLiteral(QUILLON_SUPPORT_EMAIL), title));
    QVERIFY(address.startsWith(QLatin1String("mailto:" QUILLON_SUPPORT_EMAIL "?subject=Support%20for%20%5BQuillon%20Converter%20(")));
    QCOMPARE(queryValue(address, QStringLiteral("subject")), QStringLiteral("Support for [%1]").arg(title));
}

void AboutTest::linkOpensTheAddress()
{
    AboutWindowController c;
    QList<QUrl> opened;
    c.setUrlOpener([&](const QUrl &u) { opened.append(u); return true; }); // before the window loads
    QDialog *w = c.window();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto *link = outlet<HyperlinkButton>(w, "emailLink");
    QSignalSpy spy(link, &HyperlinkButton::linkOpened);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened.first().toString(QUrl::FullyEncoded), c.mailAddress());
    QCOMPARE(opened.first().scheme(), QStringLiteral("mailto"));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.first().at(1).toBool(), true);
    QVERIFY(w->isVisible()); // the link leaves the window open
}

void AboutTest::okEndsTheSheet()
{
    QMainWindow main;
    main.resize(700, 500);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    AboutWindowController c;
    QSignalSpy ended(&c, &WindowController::windowEnded);
    QCOMPARE(c.showWindow(&main), -1); // a sheet returns at once
    QDialog *w = c.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->windowModality(), Qt::WindowModal);
    QCOMPARE(w->parentWidget(), &main);
    QTest::mouseClick(outlet<QPushButton>(w, "okButton"), Qt::LeftButton);
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(ended.size(), 1);
}

void AboutTest::aboutActionReplacesThePreviousWindow()
{
    QMainWindow main;
    main.resize(700, 500);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    QPointer<AboutWindowController> first = aboutAction(&main);
    QVERIFY(first);
    QPointer<QDialog> firstWindow = first->window();
    QVERIFY(QTest::qWaitForWindowExposed(firstWindow));
    QCOMPARE(firstWindow->windowModality(), Qt::WindowModal);

    QPointer<AboutWindowController> second = aboutAction(&main);
    QVERIFY(second);
    QVERIFY(first.isNull());
    QVERIFY(firstWindow.isNull());
    QVERIFY(QTest::qWaitForWindowExposed(second->window()));
    QCOMPARE(second->parent(), &main);
}

void AboutTest::hyperlinkButtonActivation_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("key"); // 0: mouse click
    QTest::addColumn<int>("opens");

    const QString mail = QStringLiteral("mailto:a@b.example?subject=x");
    QTest::newRow("click") << mail << true << 0 << 1;
    QTest::newRow("space") << mail << true << int(Qt::Key_Space) << 1;
    QTest::newRow("return") << mail << true << int(Qt::Key_Return) << 1;
    QTest::newRow("other key") << mail << true << int(Qt::Key_A) << 0;
    QTest::newRow("disabled") << mail << false << 0 << 0;
    QTest::newRow("no address") << QString() << true << 0 << 0;
}

void AboutTest::hyperlinkButtonActivation()
{
    QFETCH(QString, url);
    QFETCH(bool, enabled);
    QFETCH(int, key);
    QFETCH(int, opens);

    QWidget host;
    auto *link = new HyperlinkButton(QStringLiteral("a@b.example"), &host);
    link->setUrl(QUrl(url));
    link->setEnabled(enabled);
    int calls = 0;
    link->setUrlOpener([&](const QUrl &u) { ++calls; return u == QUrl(url); });
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    link->setFocus();
    if (key)
        QTest::keyClick(link, Qt::Key(key));
    else
        QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(calls, opens);
    QVERIFY(link->sizeHint().width() > link->fontMetrics().horizontalAdvance(link->text()) - 1);
}

void AboutTest::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("application icon") << kAppIconImage << QSize(256, 256);
    QTest::newRow("user") << kUserImage << QSize(32, 32);
    QTest::newRow("drop, main window") << kDropActiveImage << QSize(220, 211);
    QTest::newRow("drop, background") << kDropInactiveImage << QSize(220, 211);
}

void AboutTest::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    // Compiled in, drawn at the size they are meant for, and not empty.
    const QPixmap p = resourceImage(path, size, 2.0);
    QVERIFY(!p.isNull());
    QCOMPARE(p.size(), size * 2);
    const QImage img = p.toImage();
    int opaque = 0;
    for (int y = 0; y < img.height(); y += 4)
        for (int x = 0; x < img.width(); x += 4)
            opaque += qAlpha(img.pixel(x, y)) > 0;
    QVERIFY2(opaque > (img.width() / 4) * (img.height() / 4) / 10, qPrintable(QString::number(opaque)));
    QVERIFY(resourceImage(QStringLiteral(":/images/missing.svg"), size).isNull());
    if (path == kAppIconImage) {
        const QIcon icon = applicationIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
        QVERIFY(icon.availableSizes().contains(QSize(256, 256)));
    }
}

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
