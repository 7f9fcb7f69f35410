#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class MyQlineEdit;

// The booking form of the create page. CreateConference holds its logic.
class BookMeetWin : public QDialog
{
    Q_OBJECT

public:
    explicit BookMeetWin(QWidget* parent = nullptr);

    QLabel* m_pLabMeetTopic = nullptr;
    MyQlineEdit* m_pLnEtMeetTopic = nullptr;
    QLabel* m_pLabline = nullptr;
    QLabel* m_pLabStartTime = nullptr;
    QPushButton* m_pBtnStartTime = nullptr;
    QLabel* m_pLabShowStartTime = nullptr;
    QLabel* m_pLabIcon = nullptr;
    QLabel* m_pLabline2 = nullptr;
    QLabel* m_pLabEndTime = nullptr;
    QPushButton* m_pBtnEndTime = nullptr;
    QLabel* m_pLabShowEndTime = nullptr;
    QLabel* m_pLabEndIcon = nullptr;
    QLabel* m_pLabline3 = nullptr;
    QLabel* m_pLabMeetType = nullptr;
    QPushButton* m_pBtnVedioType = nullptr;
    QPushButton* m_pBtnVoiceType = nullptr;
    QPushButton* m_pBtnBookMeetStart = nullptr;

protected:
    // A press on the form itself takes the focus from the topic field.
    void mousePressEvent(QMouseEvent* event) override;
};
