#include "windows/AboutWindowController.h"

#include "core/AppFolders.h"
#include "ui_About.h"
#include "windows/AppImages.h"

#include <QUrl>

namespace quillon {
namespace {

const char kNote[] = "Note:\rPlease explain your issues with details if necessary with screenshot of application.";

// RFC 2396: unreserved characters and the reserved ones that delimit URL parts.
bool isUnreserved(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || QByteArrayView("-_.!~*'()").contains(c);
}

QByteArray escape(const QString &text, QByteArrayView keep)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        if (isUnreserved(c) || keep.contains(c)) {
            out += c;
        } else {
            out += '%';
            out += QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
        }
    }
    return out;
}

} // namespace

AboutWindowController::AboutWindowController(QObject *parent)
    : WindowController(parent)
{
}

AboutWindowController::~AboutWindowController() = default;

QString AboutWindowController::supportMailAddress(const QString &email, const QString &titleLine)
{
    // The address keeps all of RFC 2396's reserved characters (the @ above all);
    // inside subject and body the query's own delimiters must be escaped too.
    const QByteArray address = escape(email, ";/:@$,");
    const QByteArray subject = escape(QStringLiteral("Support for [%1]").arg(titleLine), ";/:@$,");
    const QByteArray body = escape(QString::fromLatin1(kNote), ";/:@$,");
    return QString::fromLatin1("mailto:" + address + "?subject=" + subject + "&body=" + body);
}

QString AboutWindowController::mailAddress() const
{
    return ui ? ui->emailLink->url().toString(QUrl::FullyEncoded) : QString();
}

void AboutWindowController::setUrlOpener(HyperlinkButton::UrlOpener opener)
{
    m_opener = std::move(opener);
    if (ui)
        ui->emailLink->setUrlOpener(m_opener);
}

void AboutWindowController::okAction()
{
    endWindow(QDialog::Accepted);
}

QDialog *AboutWindowController::loadWindow()
{
    auto *window = new QDialog;
    ui = std::make_unique<Ui::About>();
    ui->setupUi(window);
    connect(ui->okButton, &QPushButton::clicked, this, &AboutWindowController::okAction);
    awakeFromNib(window);
    return window;
}

void AboutWindowController::awakeFromNib(QDialog *window)
{
    const QString title = getAppTitle();
    window->setWindowTitle(tr("About %1").arg(title));

    const QSize logoSize(64, 64);
    ui->logoImage->setFixedSize(logoSize);
    ui->logoImage->setPixmap(resourceImage(kAppIconImage, logoSize, window->devicePixelRatioF()));
    ui->titleLabel->setText(QStringLiteral("%1 (%2)").arg(title, QStringLiteral(QUILLON_VERSION)));
    ui->headerLabel->setText(tr("Thank you for using %1.").arg(title));

    const QString email = QStringLiteral(QUILLON_SUPPORT_EMAIL);
    const QString address = supportMailAddress(email, ui->titleLabel->text());
    ui->emailLink->setUrl(QUrl::fromEncoded(address.toLatin1(), QUrl::StrictMode));
    ui->emailLink->setText(email);
    ui->emailLink->setAccessibleName(email);
    if (m_opener)
        ui->emailLink->setUrlOpener(m_opener);

    ui->copyrightLabel->setText(QStringLiteral(QUILLON_COPYRIGHT));
    ui->okButton->setToolTip(tr("Click to continue with %1.").arg(title));

    // Fixed height; the width and position stay as laid out.
    window->setFixedSize(window->width(), 207);
}

} // namespace quillon
