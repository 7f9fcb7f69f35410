#pragma once

#include <QDialog>

class QGridLayout;
class QHBoxLayout;

// Page 3 of the main window: up to four meeting cards and the page dots below
// them. The main window fills both layouts itself.
class ShowMyMeetWin : public QDialog
{
    Q_OBJECT

public:
    explicit ShowMyMeetWin(QWidget* parent = nullptr);

    QGridLayout* m_pGridLayout = nullptr;
    QHBoxLayout* m_pDotLayout = nullptr;
};
