#pragma once

#include <QDialog>
#include <QString>

class QPropertyAnimation;

// One wheel of the time pickers: three rows, the middle one current. Drag or
// turn the mouse wheel to move by one step; the rows settle with a short
// animation of the "deviation" property.
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
    void paintEvent(QPaintEvent* event) override;

private:
    bool hasSmaller() const;
    bool hasLarger() const;
    // Pixels the rows move per step while dragging.
    int rowShift() const { return (height() - 1) / 3; }
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
