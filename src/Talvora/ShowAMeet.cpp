#include "ShowAMeet.h"

#include "ErrorBox.h"
#include "FramelessWindow.h"
#include "MeetTimeText.h"
#include "MeetingTime.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <optional>

using namespace talvora::build;

ShowAMeet::ShowAMeet(int index, std::string topic, std::string startTime, int duration, std::string meetCode,
                     bool hostVideo, bool participantsVideo, QWidget* parent)
    : QDialog(parent), m_iIndex(index), m_strTopic(std::move(topic)), m_strStartTime(std::move(startTime)),
      m_iDuration(duration), m_strMeetCode(std::move(meetCode)), m_bHostVideo(hostVideo),
      m_bParticipantsVideo(participantsVideo)
{
    if (!readStartTime()) {
        return;
    }
    buildLayout();
    showMeeting();
    m_pixShadow = talvora::frameless::loadShadow();
    connect(m_pBtnModify, &QPushButton::clicked, this, &ShowAMeet::onChooseModify);
    connect(m_pBtnStart, &QPushButton::clicked, this, &ShowAMeet::onChooseStart);
}

bool ShowAMeet::canShow(const std::string& startTime)
{
    const char* failure = nullptr;
    return talvora::MeetingTime::fromServiceText(startTime, 0, &failure).has_value();
}

bool ShowAMeet::readStartTime()
{
    const char* failure = nullptr;
    const std::optional<talvora::MeetingTime> time =
        talvora::MeetingTime::fromServiceText(m_strStartTime, m_iDuration, &failure);
    if (!time) {
        talvora::showErrorBox(failure);
        return false;
    }
    m_strYear = std::to_string(time->date().year());
    m_strMonth = std::to_string(time->date().month());
    m_strDay = std::to_string(time->date().day());
    m_strHour = std::to_string(time->hour());
    m_strMinute = talvora::timetext::twoDigits(time->minute());
    m_strStartShow = time->startText();
    m_iHourStop = int(time->hourStop());
    m_iMinuteStop = int(time->minuteStop());
    m_strEndShow = time->endText();
    m_strTimeShow = time->rangeText();
    return true;
}

std::optional<talvora::ScheduledMeeting> ShowAMeet::scheduledMeeting() const
{
    std::optional<talvora::MeetingTime> time =
        talvora::MeetingTime::fromServiceText(m_strStartTime, m_iDuration);
    if (!time) {
        return std::nullopt;
    }
    return talvora::ScheduledMeeting{m_strMeetCode, m_strTopic, *time};
}

void ShowAMeet::buildLayout()
{
    setWindowFlags(Qt::FramelessWindowHint);
    setFixedSize(410, 250);
    setObjectName(QStringLiteral("ShowAMeet"));

    m_pLabShowTopic = control<QLabel>(this, "m_pLabShowTopic", QString(), 376, 22);
    m_pLabShowTime = control<QLabel>(this, "m_pLabShowTime", QString(), 376, 18);
    m_pLabVedioOrVoice = control<QLabel>(this, "m_pLabVedioOrVoice", QString(), 40, 40);
    m_pLabMeetCodeWord = control<QLabel>(this, "m_pLabMeetCodeWord", QString::fromUtf8("会议码: "), 90, 20);
    m_pLabMeetCodeContent =
        control<QLabel>(this, "m_pLabMeetCodeContent", QStringLiteral("123456789"), 238, 20);
    m_pBtnModify = control<QPushButton>(this, "m_pBtnModify", QString::fromUtf8("编辑"), 96, 36);
    m_pBtnStart = control<QPushButton>(this, "m_pBtnStart", QString::fromUtf8("开始"), 96, 36);

    auto* layout = vbox(0, 0, 0, 0);
    setLayout(layout);
    talvora::frameless::setShadowMargins(layout);
    layout->addLayout(hboxOf(24, 24, 0, 0, m_pLabShowTopic));
    layout->addLayout(hboxOf(24, 16, 0, 0, m_pLabShowTime));
    layout->addLayout(
        hboxOf(24, 16, 0, 0, m_pLabVedioOrVoice, Gap{8}, m_pLabMeetCodeWord, m_pLabMeetCodeContent));
    layout->addLayout(hboxOf(81, 38, 87, 30, m_pBtnModify, Gap{40}, m_pBtnStart));
}

void ShowAMeet::showMeeting()
{
    m_pLabShowTopic->setText(QString::fromStdString(m_strTopic));
    m_pLabShowTime->setText(QString::fromStdString(m_strTimeShow));
    m_pLabMeetCodeContent->setText(QString::fromStdString(m_strMeetCode));
    // Restyling re-polishes the label; a reused card of the same type keeps
    // its style.
    const QString typeStyle =
        isVideoMeeting()
            ? QStringLiteral(
                  "QLabel{background:transparent;border-image:url(:/Talvora/Resources/icon_type_video.png);}")
            : QStringLiteral(
                  "QLabel{background:transparent;border-image:url(:/Talvora/Resources/icon_type_voi.png);}");
    if (m_pLabVedioOrVoice->styleSheet() != typeStyle) {
        m_pLabVedioOrVoice->setStyleSheet(typeStyle);
    }
    m_pLabVedioOrVoice->setAccessibleName(QString::fromUtf8(isVideoMeeting() ? "视频会议" : "语音会议"));
}

bool ShowAMeet::setMeeting(int index, std::string topic, std::string startTime, int duration,
                           std::string meetCode, bool hostVideo, bool participantsVideo)
{
    if (!showsMeeting() || !canShow(startTime)) {
        return false;
    }
    m_iIndex = index;
    m_strTopic = std::move(topic);
    m_strStartTime = std::move(startTime);
    m_iDuration = duration;
    m_strMeetCode = std::move(meetCode);
    m_bHostVideo = hostVideo;
    m_bParticipantsVideo = participantsVideo;
    readStartTime();
    showMeeting();
    return true;
}

void ShowAMeet::onChooseModify()
{
    emit modifySignal();
}

void ShowAMeet::onChooseStart()
{
    emit startSignal();
}

void ShowAMeet::paintEvent(QPaintEvent* event)
{
    if (!m_pixShadow.isNull()) {
        QPainter painter(this);
        talvora::frameless::paintShadow(painter, m_pixShadow, size());
    }
    QDialog::paintEvent(event);
}
