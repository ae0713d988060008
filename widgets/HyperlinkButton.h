#pragma once
#include <QAbstractButton>
#include <QUrl>

#include <functional>

// A button drawn as a text link. Clicking it (mouse, Space or Enter) hands its
// url() to the opener, by default the desktop's handler for the URL's scheme
// (QDesktopServices::openUrl), so a mailto: link starts the user's mail program.
class HyperlinkButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(QUrl url READ url WRITE setUrl)
public:
    // Returns whether the URL could be handed over; tests inject their own.
    using UrlOpener = std::function<bool(const QUrl &)>;

    explicit HyperlinkButton(QWidget *parent = nullptr);
    explicit HyperlinkButton(const QString &text, QWidget *parent = nullptr);

    QUrl url() const { return m_url; }
    void setUrl(const QUrl &url);

    // An empty opener restores the desktop's handler.
    void setUrlOpener(UrlOpener opener);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Emitted after a click with the URL and whether the opener took it.
    void linkOpened(const QUrl &url, bool opened);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openLink();

    QUrl m_url;
    UrlOpener m_opener;
    bool m_hovered = false;
};
