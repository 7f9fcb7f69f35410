#pragma once

#include "ScheduledMeeting.h"
#include "TempMeetWin.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QStackedWidget;
class BookMeetSuccess;
class BookMeetWin;
class CreateMeetTop;
class StartTimeWin;
class StopTimeWin;

// Page 1 of the main window: an instant meeting (started by the main window)
// or a booked one (created here through the REST client).
class CreateConference : public QDialog
{
    Q_OBJECT

public:
    // Inner stack indices.
    enum Pane
    {
        PaneTempMeet = 0,
        PaneBookMeet = 1,
        PaneBookSuccess = 2
    };

    explicit CreateConference(std::string zcode, QWidget* parent = nullptr);
    ~CreateConference() override;

    CreateMeetTop* m_pCreateMeetTop = nullptr;
    QStackedWidget* m_pStackedWidget = nullptr;
    TempMeetWin* m_pTempMeetWin = nullptr;
    BookMeetWin* m_pBookMeetWin = nullptr;
    BookMeetSuccess* m_pBookMeetSuccess = nullptr;
    // Top-level pop-ups, deleted by the destructor.
    StartTimeWin* m_pStartTimeWin = nullptr;
    StopTimeWin* m_pStopTimeWin = nullptr;

    // The last accepted start and end; written by the time pickers.
    int m_iYear = 0;
    int m_iMonth = 0;
    int m_iDay = 0;
    int m_iHour = 0;
    int m_iMinute = 0;
    int m_iYearStop = 0;
    int m_iMonthStop = 0;
    int m_iDayStop = 0;
    int m_iHourStop = 0;
    int m_iMinuteStop = 0;

    QString m_qstrTopic;
    QString m_qstrTime;
    std::string m_strNoVideo;
    std::string m_strMeetCode;
    bool m_bVedioMeet = true;
    std::string m_strZcode;
    // The meeting the confirmation pane shows, once a booking has succeeded.
    std::optional<talvora::ScheduledMeeting> m_bookedMeeting;

signals:
    void bookThenModify(std::string strTopic, int iYear, int iMonth, int iDay, int iHour, int iMinute,
                        int iHourStop, int iMinuteStop, bool isVedioMeet, std::string strMeetCode);
    void bookThenBookAgain();

public slots:
    void onChooseTempMeet();
    void onChooseBookMeet();
    void onBookMeetStart();
    void onSetStartTime();
    void onSetStopTime();
    void onStartTimeWinSave();
    void onStartTimeWinCancel();
    void onStopTimeWinSave();
    void onStopTimeWinCancel();
    void onChooseVedioMeet();
    void onChooseAudioMeet();
    void onbookThenModify();
    void onbookThenBookAgain();
};
