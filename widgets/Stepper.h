#pragma once
#include <QWidget>

class QToolButton;

// The small up/down arrow pair that sits beside a number field. Clicking (or
// holding) an arrow steps the value within [minimum, maximum].
class Stepper : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
public:
    explicit Stepper(QWidget *parent = nullptr);

    int value() const { return m_value; }
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }
    void setRange(int minimum, int maximum);

    QToolButton *upButton() const { return m_up; }
    QToolButton *downButton() const { return m_down; }

public slots:
    void setValue(int value);
    void stepUp() { stepBy(1); }
    void stepDown() { stepBy(-1); }
    void stepBy(int steps);

signals:
    // Emitted when the user steps (not by setValue).
    void valueStepped(int value);
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateButtons();
    QToolButton *m_up = nullptr;
    QToolButton *m_down = nullptr;
    int m_value = 0;
    int m_min = 0;
    int m_max = 99;
};
