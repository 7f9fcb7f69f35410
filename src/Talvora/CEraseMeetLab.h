#pragma once

#include <QLabel>
#include <QPoint>

// The short-lived "会议已删除" notice over the main window. It has no logic:
// the edit page shows it and hides it again after a while.
class CEraseMeetLab : public QLabel
{
    Q_OBJECT

public:
    explicit CEraseMeetLab(QWidget* parent = nullptr);

    QLabel* m_pLabContent = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPoint m_ptDragOffset;
};
