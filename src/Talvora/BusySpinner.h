#pragma once

#include <QTimer>
#include <QWidget>

// The interface's busy indicator: a blue arc turning on a pale ring, drawn in
// code so that it stays sharp at any scale. It only animates while visible.
// With a backdrop it sits on a white disc, to stand out over a busy page.
class BusySpinner : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kSize = 40;
    static constexpr int kBackdropSize = 60;

    explicit BusySpinner(QWidget* parent = nullptr, bool backdrop = false);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer m_timer;
    int m_iAngle = 0;
    bool m_bBackdrop;
};
