#pragma once

#include "ScheduledMeeting.h"

#include <QDialog>
#include <QPixmap>

#include <optional>
#include <string>

class QLabel;
class QPushButton;

// One meeting card of the meeting list. The times received from the service
// are shown moved forward by 8 hours. A start_time that cannot be read leaves
// the card empty after one error box; the list still counts and places it.
class ShowAMeet : public QDialog
{
    Q_OBJECT

public:
    ShowAMeet(int index, std::string topic, std::string startTime, int duration, std::string meetCode,
              bool hostVideo, bool participantsVideo, QWidget* parent = nullptr);

    // Whether a card for this start_time shows its meeting (rather than stay
    // empty after an error box); asks nothing of the user.
    static bool canShow(const std::string& startTime);
    // A card that shows a meeting takes another one whose start_time it can
    // show, so that a refresh reuses its cards instead of building new ones.
    // False, with nothing changed, for an empty card or an unreadable time.
    bool setMeeting(int index, std::string topic, std::string startTime, int duration, std::string meetCode,
                    bool hostVideo, bool participantsVideo);
    // True unless the start_time could not be read.
    bool showsMeeting() const { return m_pLabShowTopic != nullptr; }

    bool isVideoMeeting() const { return m_bHostVideo && m_bParticipantsVideo; }
    // What the card shows, for sharing; nothing when its start was unreadable.
    std::optional<talvora::ScheduledMeeting> scheduledMeeting() const;

    int m_iIndex = 0;
    std::string m_strTopic;
    std::string m_strStartTime;
    int m_iDuration = 0;
    std::string m_strMeetCode;
    bool m_bHostVideo = false;
    bool m_bParticipantsVideo = false;
    std::string m_strYear;
    std::string m_strMonth;
    std::string m_strDay;
    std::string m_strHour;
    std::string m_strMinute;
    std::string m_strStartShow;
    int m_iHourStop = 0;
    int m_iMinuteStop = 0;
    std::string m_strEndShow;
    std::string m_strTimeShow;
    QLabel* m_pLabShowTopic = nullptr;
    QLabel* m_pLabShowTime = nullptr;
    QLabel* m_pLabVedioOrVoice = nullptr;
    QLabel* m_pLabMeetCodeWord = nullptr;
    QLabel* m_pLabMeetCodeContent = nullptr;
    QPushButton* m_pBtnModify = nullptr;
    QPushButton* m_pBtnStart = nullptr;
    QPixmap m_pixShadow;

signals:
    void modifySignal();
    void startSignal();

public slots:
    void onChooseModify();
    void onChooseStart();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool readStartTime();
    void buildLayout();
    // Puts the meeting's texts and type into the card's widgets.
    void showMeeting();
};
