#include "CreateConference.h"

#include "BookMeetSuccess.h"
#include "BookMeetWin.h"
#include "CreateMeetTop.h"
#include "ErrorBox.h"
#include "HttpRequest.h"
#include "MeetFormRows.h"
#include "MeetTimeText.h"
#include "MyQlineEdit.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "TempMeetWin.h"
#include "WidgetBuilders.h"
#include "log/Log.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>

#include <QDateTime>

#include <cstdint>

using talvora::timetext::twoDigits;

namespace {

// Takes the picker's time into the five stored values and shows it, or
// refuses a past time or a day the month lacks: the stored values are then 0
// and the picker stays open.
void takePick(TimePickerWin* picker, int& year, int& month, int& day, int& hour, int& minute, QLabel* shown)
{
    const TimePickerWin::PickedTime time = picker->picked();
    year = time.year;
    month = time.month;
    day = time.day;
    hour = time.hour;
    minute = time.minute;
    const char* refusal = nullptr;
    if (TimePickerWin::isPast(time, QDateTime::currentDateTime())) {
        refusal = "不能预定过去时间的会议";
    } else if (!TimePickerWin::dayExists(time)) {
        refusal = "日期不存在";
    }
    if (refusal != nullptr) {
        talvora::showErrorBox(refusal);
        year = month = day = hour = minute = 0;
        return;
    }
    shown->setText(QString::fromStdString(talvora::timetext::datePart(year, month, day) +
                                          talvora::timetext::clock(hour, minute)));
    picker->close();
}

} // namespace

CreateConference::CreateConference(std::string zcode, QWidget* parent)
    : QDialog(parent), m_strZcode(std::move(zcode))
{
    setObjectName(QStringLiteral("CreateConference"));
    setFixedSize(900, 680);

    m_pCreateMeetTop = new CreateMeetTop;
    m_pTempMeetWin = new TempMeetWin;
    m_pBookMeetWin = new BookMeetWin;
    m_pBookMeetSuccess = new BookMeetSuccess;
    m_pStackedWidget = new QStackedWidget(this);
    m_pStackedWidget->addWidget(m_pTempMeetWin);
    m_pStackedWidget->addWidget(m_pBookMeetWin);
    m_pStackedWidget->addWidget(m_pBookMeetSuccess);
    m_pStartTimeWin = new StartTimeWin;
    m_pStopTimeWin = new StopTimeWin;

    auto* layout = talvora::build::pageLayout(this);
    layout->addWidget(m_pCreateMeetTop, 0);
    layout->addWidget(m_pStackedWidget, 4);

    connect(m_pCreateMeetTop->m_pLabTempMeet, &QPushButton::clicked, this,
            &CreateConference::onChooseTempMeet);
    connect(m_pCreateMeetTop->m_pLabBookMeet, &QPushButton::clicked, this,
            &CreateConference::onChooseBookMeet);
    connect(m_pBookMeetWin->m_pBtnBookMeetStart, &QPushButton::clicked, this,
            &CreateConference::onBookMeetStart);
    connect(m_pBookMeetWin->m_pBtnStartTime, &QPushButton::clicked, this, &CreateConference::onSetStartTime);
    connect(m_pBookMeetWin->m_pBtnEndTime, &QPushButton::clicked, this, &CreateConference::onSetStopTime);
    connect(m_pStartTimeWin->m_pBtnSave, &QPushButton::clicked, this, &CreateConference::onStartTimeWinSave);
    connect(m_pStartTimeWin->m_pBtnCancel, &QPushButton::clicked, this,
            &CreateConference::onStartTimeWinCancel);
    connect(m_pStopTimeWin->m_pBtnSave, &QPushButton::clicked, this, &CreateConference::onStopTimeWinSave);
    connect(m_pStopTimeWin->m_pBtnCancel, &QPushButton::clicked, this,
            &CreateConference::onStopTimeWinCancel);
    connect(m_pBookMeetWin->m_pBtnVedioType, &QPushButton::clicked, this,
            &CreateConference::onChooseVedioMeet);
    connect(m_pBookMeetWin->m_pBtnVoiceType, &QPushButton::clicked, this,
            &CreateConference::onChooseAudioMeet);
    connect(m_pBookMeetSuccess->m_pBtnModify, &QPushButton::clicked, this,
            &CreateConference::onbookThenModify);
    connect(m_pBookMeetSuccess->m_pBtnBookAgain, &QPushButton::clicked, this,
            &CreateConference::onbookThenBookAgain);
    connect(this, &CreateConference::bookThenBookAgain, this, &CreateConference::onChooseBookMeet);
}

CreateConference::~CreateConference()
{
    delete m_pStartTimeWin;
    delete m_pStopTimeWin;
}

void CreateConference::onChooseTempMeet()
{
    m_pCreateMeetTop->showTempMeetCurrent();
    m_pStackedWidget->setCurrentIndex(PaneTempMeet);
}

void CreateConference::onChooseBookMeet()
{
    m_pCreateMeetTop->showBookMeetCurrent();
    m_pBookMeetWin->m_pLabShowStartTime->setText(QString::fromUtf8(talvora::meetform::kStartPrompt));
    m_pBookMeetWin->m_pLabShowEndTime->setText(QString::fromUtf8(talvora::meetform::kEndPrompt));
    m_pBookMeetWin->m_pLnEtMeetTopic->setText(QString());
    m_pStackedWidget->setCurrentIndex(PaneBookMeet);
}

void CreateConference::onBookMeetStart()
{
    const QString topic = m_pBookMeetWin->m_pLnEtMeetTopic->text();
    if (topic.isEmpty() || m_pBookMeetWin->m_pLnEtMeetTopic->holdsPlaceholder()) {
        talvora::showErrorBox("会议主题没有输入,请输入");
        return;
    }
    if (m_iYear != m_iYearStop || m_iMonth != m_iMonthStop || m_iDay != m_iDayStop) {
        talvora::showErrorBox("预约会议不能跨年、跨月和跨日,请重新选择");
        return;
    }
    const std::int64_t duration =
        (std::int64_t(m_iHourStop) - m_iHour) * 60 + (std::int64_t(m_iMinuteStop) - m_iMinute);
    if (duration <= 0) {
        talvora::showErrorBox("会议时长错误,请重新选择");
        return;
    }

    const std::string durationText = std::to_string(duration);
    const std::string timeText = talvora::timetext::datePart(m_iYear, m_iMonth, m_iDay) +
                                 talvora::timetext::clock(m_iHour, m_iMinute) + "-" +
                                 talvora::timetext::clock(m_iHourStop, m_iMinuteStop);
    const std::string startText = std::to_string(m_iYear) + "-" + twoDigits(m_iMonth) + "-" +
                                  twoDigits(m_iDay) + " " + std::to_string(m_iHour) + ":" +
                                  twoDigits(m_iMinute) + ":00";

    m_qstrTime = QString::fromStdString(timeText);
    m_pBookMeetSuccess->m_pLabTimeContent->setText(m_qstrTime);
    m_qstrTopic = topic;
    m_pBookMeetSuccess->m_pLabTopicContent->setText(m_qstrTopic);
    m_strNoVideo = m_bVedioMeet ? "false" : "true";
    m_pBookMeetSuccess->m_pLabTypeContent->setText(QString::fromUtf8(m_bVedioMeet ? "视频会议" : "语音会议"));

    const std::string topicUtf8 = m_qstrTopic.toStdString();
    if (!CreateMeeting(m_strZcode, topicUtf8, m_strNoVideo, startText, durationText, &m_strMeetCode)) {
        return;
    }
    m_pBookMeetSuccess->m_pLabCodeContent->setText(QString::fromLocal8Bit(m_strMeetCode.c_str()));
    if (!UpdateMeeting(m_strZcode, m_strMeetCode, topicUtf8, startText, durationText, m_strNoVideo)) {
        LOG_INFO << "modify after create fail";
        return;
    }
    m_pStackedWidget->setCurrentIndex(PaneBookSuccess);
}

void CreateConference::onSetStartTime()
{
    m_pStartTimeWin->showDefaultTime(QDateTime::currentDateTime());
    m_pStartTimeWin->exec();
}

void CreateConference::onSetStopTime()
{
    m_pStopTimeWin->showDefaultTime(QDateTime::currentDateTime());
    m_pStopTimeWin->exec();
}

void CreateConference::onStartTimeWinSave()
{
    takePick(m_pStartTimeWin, m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute,
             m_pBookMeetWin->m_pLabShowStartTime);
}

void CreateConference::onStartTimeWinCancel()
{
    m_pStartTimeWin->close();
}

void CreateConference::onStopTimeWinSave()
{
    takePick(m_pStopTimeWin, m_iYearStop, m_iMonthStop, m_iDayStop, m_iHourStop, m_iMinuteStop,
             m_pBookMeetWin->m_pLabShowEndTime);
}

void CreateConference::onStopTimeWinCancel()
{
    m_pStopTimeWin->close();
}

void CreateConference::onChooseVedioMeet()
{
    m_bVedioMeet = true;
    talvora::meetform::showChosenType(m_pBookMeetWin->m_pBtnVedioType, m_pBookMeetWin->m_pBtnVoiceType, true);
}

void CreateConference::onChooseAudioMeet()
{
    m_bVedioMeet = false;
    talvora::meetform::showChosenType(m_pBookMeetWin->m_pBtnVedioType, m_pBookMeetWin->m_pBtnVoiceType,
                                      false);
}

void CreateConference::onbookThenModify()
{
    emit bookThenModify(m_qstrTopic.toStdString(), m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute, m_iHourStop,
                        m_iMinuteStop, m_bVedioMeet, m_strMeetCode);
}

void CreateConference::onbookThenBookAgain()
{
    emit bookThenBookAgain();
}
