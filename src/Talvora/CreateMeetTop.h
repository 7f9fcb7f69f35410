#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The tab header of the create page: "临时会议" and "预定会议" with their
// blue underlines.
class CreateMeetTop : public QDialog
{
    Q_OBJECT

public:
    explicit CreateMeetTop(QWidget* parent = nullptr);

    void showTempMeetCurrent();
    void showBookMeetCurrent();

    QPushButton* m_pLabTempMeet = nullptr;
    QPushButton* m_pLabBookMeet = nullptr;
    QLabel* m_pLabTempMeetBlue = nullptr;
    QLabel* m_pLabBookMeetBlue = nullptr;
    QLabel* m_pLabLongLine = nullptr;

private:
    void showCurrent(bool tempMeet);
};
