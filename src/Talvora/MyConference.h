#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// Page 0 of the main window: the user has no meetings ("暂无会议") and may
// create or join one. The main window connects the two buttons.
class MyConference : public QDialog
{
    Q_OBJECT

public:
    explicit MyConference(QWidget* parent = nullptr);

    QLabel* m_pLabNoCfeIcon = nullptr;
    QLabel* m_pLabNoMeet = nullptr;
    QLabel* m_pLabTryOther = nullptr;
    QPushButton* m_pBtnTryCreateMeet = nullptr;
    QPushButton* m_pBtnTryJoinMeet = nullptr;
    QLabel* m_pLabTryCreateMeet = nullptr;
    QLabel* m_pLabTryJoinMeet = nullptr;
};
