#pragma once

#include "FramelessWindow.h"

#include <QDialog>
#include <QPixmap>
#include <QString>

class QLabel;
class QPushButton;

// The small confirm-or-cancel dialog (logout, deleting a meeting). It has no
// logic: its owner connects the two buttons and runs it with exec().
class CMeetConfig : public QDialog
{
    Q_OBJECT

public:
    explicit CMeetConfig(QString text, QWidget* parent = nullptr);

    QPushButton* m_pBtnSure = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    QLabel* m_pLabContent = nullptr;
    QString m_strContent;
    QPixmap m_pixShadow;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    talvora::frameless::PressedDrag m_drag;
};
