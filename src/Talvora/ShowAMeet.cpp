#include "ShowAMeet.h"

#include "ErrorBox.h"
#include "FramelessWindow.h"
#include "MeetTimeText.h"
#include "WidgetBuilders.h"

#include <QDate>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <cstdint>
#include <cstdlib>

using namespace talvora::build;

namespace {

// The service keeps times in UTC; the cards show Beijing time.
constexpr std::int64_t kShiftMinutes = 8 * 60;
constexpr std::int64_t kMinutesPerDay = 24 * 60;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

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
    m_pixShadow = talvora::frameless::loadShadow();
    connect(m_pBtnModify, &QPushButton::clicked, this, &ShowAMeet::onChooseModify);
    connect(m_pBtnStart, &QPushButton::clicked, this, &ShowAMeet::onChooseStart);
}

// Accepts year-month-dayThour:minute: followed by anything.
bool ShowAMeet::readStartTime()
{
    const std::string& text = m_strStartTime;
    const auto fail = [](const char* message) {
        talvora::showErrorBox(message);
        return false;
    };
    const auto firstDash = text.find('-');
    if (firstDash == std::string::npos) {
        return fail("解析会议时间失败(找不到-字段)");
    }
    const auto secondDash = text.find('-', firstDash + 1);
    if (secondDash == std::string::npos) {
        return fail("解析会议时间失败(找不到第二个-字段)");
    }
    const auto t = text.find('T', secondDash + 1);
    if (t == std::string::npos) {
        return fail("解析会议时间失败(找不到T字段)");
    }
    const auto firstColon = text.find(':', t + 1);
    if (firstColon == std::string::npos) {
        return fail("解析会议时间失败(找不到第一个冒号字段)");
    }
    const auto secondColon = text.find(':', firstColon + 1);
    if (secondColon == std::string::npos) {
        return fail("解析会议时间失败(找不到第二个冒号字段)");
    }
    const auto number = [&text](std::size_t from, std::size_t to) {
        return std::atoi(text.substr(from, to - from).c_str());
    };
    const int year = number(0, firstDash);
    const int month = number(firstDash + 1, secondDash);
    const int day = number(secondDash + 1, t);
    const int hour = number(t + 1, firstColon);
    const int minute = number(firstColon + 1, secondColon);

    // Added arithmetically rather than through the local time zone, so that a
    // daylight-saving change on this machine cannot move a card by an hour.
    // Out-of-range fields roll over as a calendar conversion would.
    std::int64_t minutes = std::int64_t(hour) * 60 + minute + kShiftMinutes;
    const std::int64_t dayCarry = floorDiv(minutes, kMinutesPerDay);
    minutes -= dayCarry * kMinutesPerDay;
    const QDate date = QDate(year, 1, 1).addMonths(month - 1).addDays(std::int64_t(day) - 1 + dayCarry);
    const int shownHour = int(minutes / 60);
    const int shownMinute = int(minutes % 60);

    m_strYear = std::to_string(date.year());
    m_strMonth = std::to_string(date.month());
    m_strDay = std::to_string(date.day());
    m_strHour = std::to_string(shownHour);
    m_strMinute = talvora::timetext::twoDigits(shownMinute);

    const std::string datePart = talvora::timetext::datePart(m_strYear, m_strMonth, m_strDay);
    m_strStartShow = datePart + m_strHour + ":" + m_strMinute;

    // The end hour is not wrapped: a meeting past midnight ends at 24:xx or
    // later on its start date.
    const std::int64_t total = shownMinute + std::int64_t(m_iDuration) + std::int64_t(shownHour) * 60;
    m_iHourStop = int(total / 60);
    m_iMinuteStop = int(total % 60);
    const std::string end = talvora::timetext::clock(m_iHourStop, m_iMinuteStop);
    m_strEndShow = datePart + end;
    m_strTimeShow = datePart + m_strHour + ":" + m_strMinute + "-" + end;
    return true;
}

void ShowAMeet::buildLayout()
{
    setWindowFlags(Qt::FramelessWindowHint);
    setFixedSize(410, 250);
    setObjectName(QStringLiteral("ShowAMeet"));

    m_pLabShowTopic = control<QLabel>(this, "m_pLabShowTopic", QString::fromStdString(m_strTopic), 376, 22);
    m_pLabShowTime = control<QLabel>(this, "m_pLabShowTime", QString::fromStdString(m_strTimeShow), 376, 18);
    m_pLabVedioOrVoice = control<QLabel>(this, "m_pLabVedioOrVoice", QString(), 40, 40);
    m_pLabVedioOrVoice->setStyleSheet(
        isVideoMeeting()
            ? QStringLiteral(
                  "QLabel{background:transparent;border-image:url(:/Talvora/Resources/icon_type_video.png);}")
            : QStringLiteral(
                  "QLabel{background:transparent;border-image:url(:/Talvora/Resources/icon_type_voi.png);}"));
    m_pLabVedioOrVoice->setAccessibleName(QString::fromUtf8(isVideoMeeting() ? "视频会议" : "语音会议"));
    m_pLabMeetCodeWord = control<QLabel>(this, "m_pLabMeetCodeWord", QString::fromUtf8("会议码: "), 90, 20);
    m_pLabMeetCodeContent =
        control<QLabel>(this, "m_pLabMeetCodeContent", QStringLiteral("123456789"), 238, 20);
    m_pLabMeetCodeContent->setText(QString::fromStdString(m_strMeetCode));
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
