#include "CreateConference.h"

#include "BookMeetSuccess.h"
#include "BookMeetWin.h"
#include "CreateMeetTop.h"
#include "HttpRequest.h"
#include "MeetFormRows.h"
#include "MeetTimeText.h"
#include "MeetingTime.h"
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

#include <optional>

namespace {

const char* const kPastRefusal = "不能预定过去时间的会议";

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
    const std::optional<long long> duration = talvora::meetform::checkedDuration(
        m_pBookMeetWin->m_pLnEtMeetTopic, {m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute},
        {m_iYearStop, m_iMonthStop, m_iDayStop, m_iHourStop, m_iMinuteStop});
    if (!duration) {
        return;
    }

    const QString topic = m_pBookMeetWin->m_pLnEtMeetTopic->text();
    const std::string durationText = std::to_string(*duration);
    // Start and end lie on one day, so this reads as the card will.
    const talvora::MeetingTime time =
        talvora::MeetingTime::fromBeijing(m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute, *duration);
    const std::string timeText = time.rangeText();
    const std::string startText =
        talvora::timetext::serviceStart(m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute);

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
    m_bookedMeeting = talvora::ScheduledMeeting{m_strMeetCode, topicUtf8, time};
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
    m_pStartTimeWin->takeInto(m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute,
                              m_pBookMeetWin->m_pLabShowStartTime, kPastRefusal);
}

void CreateConference::onStartTimeWinCancel()
{
    m_pStartTimeWin->close();
}

void CreateConference::onStopTimeWinSave()
{
    m_pStopTimeWin->takeInto(m_iYearStop, m_iMonthStop, m_iDayStop, m_iHourStop, m_iMinuteStop,
                             m_pBookMeetWin->m_pLabShowEndTime, kPastRefusal);
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
