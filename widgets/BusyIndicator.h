#pragma once
#include <QWidget>

// A spinning busy indicator (a ring of fading bars). Hidden while stopped
// unless setDisplayedWhenStopped(true).
class BusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget *parent = nullptr);

    bool isAnimating() const { return m_timer != 0; }
    void setDisplayedWhenStopped(bool displayed);

    QSize sizeHint() const override { return QSize(18, 18); }

public slots:
    void startAnimation();
    void stopAnimation();

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void notifyBusyChanged();
    int m_timer = 0;
    int m_step = 0;
    bool m_displayedWhenStopped = false;
};
