#include "ModifyMeet.h"

#include "CEraseMeetLab.h"
#include "CMeetConfig.h"
#include "HttpRequest.h"
#include "MeetFormRows.h"
#include "MeetTimeText.h"
#include "MyQlineEdit.h"
#include "StartTimeWin.h"
#include "StopTimeWin.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <iostream>
#include <optional>

using namespace talvora::build;
namespace meetform = talvora::meetform;

namespace {

const char* const kPastRefusal = "不能选择过去的时间";
constexpr int kNoticeMs = 3000;

} // namespace

const char* const ModifyMeet::kChosenStyle =
    "QPushButton{background:transparent;border-image:url(:/Talvora/Resources/choose_on.png); color:#FFFFFF;"
    "font-size:18px;font-family:\"SourceHanSansCN-Regular\";text-align: center;}";
const char* const ModifyMeet::kNotChosenStyle =
    "QPushButton{background:transparent;border-image:url(:/Talvora/Resources/choose_nor.png); color:#4194FF;"
    "font-size:18px;font-family:\"SourceHanSansCN-Regular\";text-align: center;}";

ModifyMeet::ModifyMeet(std::string zcode, QWidget* parent) : QDialog(parent), m_strZcode(std::move(zcode))
{
    setObjectName(QStringLiteral("ModifyMeet"));
    setFixedSize(900, 680);

    m_pLabModifyMeet = control<QLabel>(this, "m_pLabModifyMeet", "编辑会议", 96, 24);
    auto* titleRow = hboxOf(402, 80, 402, 0, m_pLabModifyMeet);

    m_pBtnDelMeet = control<QPushButton>(this, "m_pBtnDelMeet", "删除会议", 140, 56);
    m_pBtnCancelModify = control<QPushButton>(this, "m_pBtnCancelModify", "取消", 140, 56);
    m_pBtnSaveModify = control<QPushButton>(this, "m_pBtnSaveModify", "保存", 140, 56);
    auto* actionRow = hboxOf(216, 120, 216, 81, m_pBtnDelMeet, m_pBtnCancelModify, m_pBtnSaveModify);
    actionRow->setSpacing(24);

    auto* layout = pageLayout(this);
    layout->addLayout(titleRow);
    meetform::addMeetingRows(this, layout, 85, 197, 381);
    layout->addLayout(actionRow);

    m_pStartTimeWin = new StartTimeWin;
    m_pStopTimeWin = new StopTimeWin;
    m_pDelConfig = new CMeetConfig(QString::fromUtf8("确定删除会议?"));
    m_pEraseMeetLab = new CEraseMeetLab;
    m_pTimer = new QTimer(this);
    m_pTimer->setSingleShot(true);

    connect(m_pBtnStartTime, &QPushButton::clicked, this, &ModifyMeet::onSetStartTime);
    connect(m_pBtnEndTime, &QPushButton::clicked, this, &ModifyMeet::onSetStopTime);
    connect(m_pStartTimeWin->m_pBtnSave, &QPushButton::clicked, this, &ModifyMeet::onStartTimeWinSave);
    connect(m_pStartTimeWin->m_pBtnCancel, &QPushButton::clicked, this, &ModifyMeet::onStartTimeWinCancel);
    connect(m_pStopTimeWin->m_pBtnSave, &QPushButton::clicked, this, &ModifyMeet::onStopTimeWinSave);
    connect(m_pStopTimeWin->m_pBtnCancel, &QPushButton::clicked, this, &ModifyMeet::onStopTimeWinCancel);
    connect(m_pBtnVedioType, &QPushButton::clicked, this, &ModifyMeet::onChooseVedioMeet);
    connect(m_pBtnVoiceType, &QPushButton::clicked, this, &ModifyMeet::onChooseAudioMeet);
    connect(m_pBtnDelMeet, &QPushButton::clicked, this, &ModifyMeet::onDeleteMeet);
    connect(m_pBtnCancelModify, &QPushButton::clicked, this, &ModifyMeet::onCancelModify);
    connect(m_pBtnSaveModify, &QPushButton::clicked, this, &ModifyMeet::onSaveModify);
    connect(m_pDelConfig->m_pBtnCancel, &QPushButton::clicked, this, &ModifyMeet::onDeleteMeetCancel);
    connect(m_pDelConfig->m_pBtnSure, &QPushButton::clicked, this, &ModifyMeet::onDeleteMeetSave);
    connect(m_pTimer, &QTimer::timeout, this, &ModifyMeet::onTimeout);
}

ModifyMeet::~ModifyMeet()
{
    delete m_pStartTimeWin;
    delete m_pStopTimeWin;
    delete m_pDelConfig;
    delete m_pEraseMeetLab;
}

void ModifyMeet::onSetStartTime()
{
    m_pStartTimeWin->exec();
}

void ModifyMeet::onSetStopTime()
{
    m_pStopTimeWin->exec();
}

void ModifyMeet::onStartTimeWinSave()
{
    m_pStartTimeWin->takeInto(m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute, m_pLabShowStartTime,
                              kPastRefusal);
}

void ModifyMeet::onStartTimeWinCancel()
{
    m_pStartTimeWin->close();
}

void ModifyMeet::onStopTimeWinSave()
{
    m_pStopTimeWin->takeInto(m_iYearStop, m_iMonthStop, m_iDayStop, m_iHourStop, m_iMinuteStop,
                             m_pLabShowEndTime, kPastRefusal);
}

void ModifyMeet::onStopTimeWinCancel()
{
    m_pStopTimeWin->close();
}

void ModifyMeet::onChooseVedioMeet()
{
    m_bVedioMeet = true;
    meetform::showChosenType(m_pBtnVedioType, m_pBtnVoiceType, true, kChosenStyle, kNotChosenStyle);
}

void ModifyMeet::onChooseAudioMeet()
{
    m_bVedioMeet = false;
    meetform::showChosenType(m_pBtnVedioType, m_pBtnVoiceType, false, kChosenStyle, kNotChosenStyle);
}

void ModifyMeet::onDeleteMeet()
{
    m_pDelConfig->exec();
}

void ModifyMeet::onCancelModify()
{
    emit modifyCancel();
}

void ModifyMeet::onSaveModify()
{
    const std::optional<long long> duration =
        meetform::checkedDuration(m_pLnEtMeetTopic, {m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute},
                                  {m_iYearStop, m_iMonthStop, m_iDayStop, m_iHourStop, m_iMinuteStop});
    if (!duration) {
        return;
    }
    const std::string startText =
        talvora::timetext::serviceStart(m_iYear, m_iMonth, m_iDay, m_iHour, m_iMinute);
    m_qstrTopic = m_pLnEtMeetTopic->text();
    m_strNoVideo = m_bVedioMeet ? "false" : "true";
    std::cout << (m_bVedioMeet ? "vedio" : "voice") << std::endl;
    // On failure the REST client has shown its box; the user's input stays.
    if (UpdateMeeting(m_strZcode, m_strMeetCode, m_qstrTopic.toStdString(), startText,
                      std::to_string(*duration), m_strNoVideo)) {
        emit modifySave();
    }
}

void ModifyMeet::onDeleteMeetCancel()
{
    m_pDelConfig->close();
}

void ModifyMeet::onDeleteMeetSave()
{
    // On failure the REST client has shown its box and the confirmation stays.
    if (!DeleteMeeting(m_strZcode, m_strMeetCode)) {
        return;
    }
    m_pDelConfig->close();
    m_pEraseMeetLab->show();
    // The notice outlives the list refresh that the signal starts.
    m_pTimer->start(kNoticeMs);
    emit delMeetSure();
}

void ModifyMeet::onTimeout()
{
    m_pEraseMeetLab->hide();
}

void ModifyMeet::mousePressEvent(QMouseEvent* event)
{
    m_pLabMeetTopic->setFocus(Qt::OtherFocusReason);
    QDialog::mousePressEvent(event);
}
