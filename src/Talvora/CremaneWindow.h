#pragma once

#include "FramelessWindow.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

class QLineEdit;
class QPushButton;

// The rename dialog. Its owner runs it with exec() and reads getName(): only
// "确定" keeps the typed name; "取消", Escape and closing the window all leave
// the empty string, which means no change.
class CremaneWindow : public QDialog
{
    Q_OBJECT

public:
    explicit CremaneWindow(QString name, QWidget* parent = nullptr);

    QString getName() const;

    QLineEdit* m_pNameLineEdit = nullptr;
    QPushButton* m_pSureBtn = nullptr;
    QPushButton* m_pCancelBtn = nullptr;
    QPixmap m_pixShadow;

public slots:
    void onSure();
    void onCancel();
    // Escape and the window's close both end here.
    void reject() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    talvora::frameless::PressedDrag m_drag;
};
