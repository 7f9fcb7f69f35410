#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;
class QPushButton;

// The column on the left of the main window: the user name and six entries.
// It has no logic: the main window connects the buttons and restyles the
// labels of the entry it shows.
class LeftMenu : public QDialog
{
    Q_OBJECT

public:
    explicit LeftMenu(QWidget* parent = nullptr);

    QPushButton* m_pBtnMyMeet = nullptr;
    QLabel* m_pLabMyMeetIcon = nullptr;
    QLabel* m_pLabMyMeetWord = nullptr;
    QPushButton* m_pBtnCreateMeet = nullptr;
    QLabel* m_pLabCreateMeetIcon = nullptr;
    QLabel* m_pLabCreateMeetWord = nullptr;
    QPushButton* m_pBtnJoinMeet = nullptr;
    QLabel* m_pLabJoinMeetIcon = nullptr;
    QLabel* m_pLabJoinMeetWord = nullptr;
    QPushButton* m_pBtnSet = nullptr;
    QLabel* m_pLabSetIcon = nullptr;
    QLabel* m_pLabSetWord = nullptr;
    QPushButton* m_pBtnMin = nullptr;
    QLabel* m_pLabMinIcon = nullptr;
    QLabel* m_pLabMinWord = nullptr;
    QPushButton* m_pBtnLogout = nullptr;
    QLabel* m_pLabLogoutIcon = nullptr;
    QLabel* m_pLabLogoutWord = nullptr;
    QPushButton* m_pRenameBtn = nullptr;
    QLabel* m_pLabUserIcon = nullptr;
    QLabel* m_pLabUserName = nullptr;
    QPixmap m_pixShadow;

protected:
    void paintEvent(QPaintEvent* event) override;
};
