#pragma once

#include "FramelessWindow.h"
#include "ServiceExchange.h"

#include <QDialog>
#include <QPixmap>

class BusySpinner;
class QLabel;
class QPushButton;

// Progress of the sign-in before the main window exists: a small frameless
// pop-up titled "正在登录" with the step under way, the spinner and "取消".
// It appears only when an exchange is slow. Cancelling (the button, Escape or
// closing it) ends the exchange at once and, with it, the start-up.
class ProgressWindow : public QDialog, public talvora::BusyPresenter
{
    Q_OBJECT

public:
    explicit ProgressWindow(QWidget* parent = nullptr);

    void setMessage(const QString& text);

    void showBusy() override;
    void hideBusy() override;
    QWidget* inputWindow() const override { return const_cast<ProgressWindow*>(this); }

    QLabel* m_pLabTitle = nullptr;
    QLabel* m_pLabMessage = nullptr;
    BusySpinner* m_pSpinner = nullptr;
    QPushButton* m_pBtnCancel = nullptr;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixShadow;
    talvora::frameless::PressedDrag m_drag;
};
