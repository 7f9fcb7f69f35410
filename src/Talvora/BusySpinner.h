#pragma once

#include <QTimer>
#include <QWidget>

// The interface's busy indicator: a blue arc turning on a pale ring, drawn in
// code so that it stays sharp at any scale. It only animates while visible.
class BusySpinner : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kSize = 40;

    explicit BusySpinner(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_iAngle = 0;
};
