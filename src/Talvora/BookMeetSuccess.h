#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The confirmation pane of the create page after a booking.
class BookMeetSuccess : public QDialog
{
    Q_OBJECT

public:
    explicit BookMeetSuccess(QWidget* parent = nullptr);

    QLabel* m_pLabSucTop = nullptr;
    QLabel* m_pLabSucIcon = nullptr;
    QLabel* m_pLabWordSuc = nullptr;
    QLabel* m_pLabWordSave = nullptr;
    QLabel* m_pLabMeetTopic = nullptr;
    QLabel* m_pLabTopicContent = nullptr;
    QLabel* m_pLabMeetTime = nullptr;
    QLabel* m_pLabTimeContent = nullptr;
    QLabel* m_pLabMeetCode = nullptr;
    QLabel* m_pLabCodeContent = nullptr;
    QLabel* m_pLabMeetType = nullptr;
    QLabel* m_pLabTypeContent = nullptr;
    QPushButton* m_pBtnModify = nullptr;
    QPushButton* m_pBtnBookAgain = nullptr;
};
