#pragma once

#include <QDialog>
#include <QString>

class QPropertyAnimation;

// One wheel of the time pickers: three rows, the middle one current. Drag,
// turn the mouse wheel or, with the focus on the wheel, press Up or Down to
// move by one step (Up and a wheel turned up show the smaller value above);
// the rows settle with a short animation of the "deviation" property.
class VerticalScroll : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(int deviation READ deviation WRITE setDeviation)

public:
    VerticalScroll(QString unit, int maximum, int minimum, int value, int step, QWidget* parent = nullptr);

    int currentValue() const { return m_iCurrentValue; }
    // No range check and no repaint: the owners set all five wheels before
    // they show a picker.
    void setCurrentValue(int value) { m_iCurrentValue = value; }

    int minimum() const { return m_iMinimum; }
    int maximum() const { return m_iMaximum; }
    int step() const { return int(m_dStep); }

    int deviation() const { return m_iDeviation; }
    void setDeviation(int deviation);

signals:
    void currentValueChanged(double value);
    void deviationChange(double deviation);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // Up and Down turn the wheel; every other key goes to the picker, which
    // saves on Enter and cancels on Escape (the wheel's own dialog handling
    // would hide the wheel instead).
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool hasSmaller() const;
    bool hasLarger() const;
    // Pixels the rows move per step while dragging.
    int rowShift() const { return (height() - 1) / 3; }
    // One step towards the smaller (-1) or the larger (+1) value, animated.
    void turn(int direction);
    void settle();
    void paintNumber(QPainter& painter, int value, int offset, bool centre);

    int m_iMinimum;
    int m_iMaximum;
    int m_iCurrentValue;
    bool m_bPressed = false;
    int m_iDeviation = 0;
    int m_iPressY = 0;
    QPropertyAnimation* m_pAnimation;
    double m_dStep;
    int m_iRowCount = 3;
    QString m_strUnit;
};
