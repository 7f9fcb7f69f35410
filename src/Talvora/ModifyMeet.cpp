#include "ModifyMeet.h"

#include "BookMeetWin.h"
#include "CMeetConfig.h"
#include "MeetFormRows.h"
#include "MyQlineEdit.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;
namespace meetform = talvora::meetform;

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

    static const char* const kStartNames[4] = {"m_pLabStartTime", "m_pBtnStartTime", "m_pLabShowStartTime",
                                               "m_pLabIcon"};
    static const char* const kEndNames[4] = {"m_pLabEndTime", "m_pBtnEndTime", "m_pLabShowEndTime",
                                             "m_pLabEndIcon"};
    meetform::TimeRow start;
    meetform::TimeRow end;

    m_pLabModifyMeet = control<QLabel>(this, "m_pLabModifyMeet", "编辑会议", 96, 24);
    auto* titleRow = hbox(402, 80, 402, 0);
    titleRow->addWidget(m_pLabModifyMeet);

    m_pBtnDelMeet = control<QPushButton>(this, "m_pBtnDelMeet", "删除会议", 140, 56);
    m_pBtnCancelModify = control<QPushButton>(this, "m_pBtnCancelModify", "取消", 140, 56);
    m_pBtnSaveModify = control<QPushButton>(this, "m_pBtnSaveModify", "保存", 140, 56);
    auto* actionRow = hbox(216, 120, 216, 81);
    actionRow->setSpacing(24);
    actionRow->addWidget(m_pBtnDelMeet);
    actionRow->addWidget(m_pBtnCancelModify);
    actionRow->addWidget(m_pBtnSaveModify);

    auto* layout = pageLayout(this);
    layout->addLayout(titleRow);
    layout->addLayout(meetform::topicRow(this, 85, 197, 381, m_pLabMeetTopic, m_pLnEtMeetTopic));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline", 23, m_pLabline));
    layout->addLayout(meetform::timeRow(this, "开始时间", BookMeetWin::kStartPrompt, kStartNames, start));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline2", 22, m_pLabline2));
    layout->addLayout(meetform::timeRow(this, "结束时间", BookMeetWin::kEndPrompt, kEndNames, end));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline3", 22, m_pLabline3));
    layout->addLayout(meetform::typeRow(this, m_pLabMeetType, m_pBtnVedioType, m_pBtnVoiceType));
    layout->addLayout(actionRow);

    m_pLabStartTime = start.caption;
    m_pBtnStartTime = start.button;
    m_pLabShowStartTime = start.shown;
    m_pLabIcon = start.icon;
    m_pLabEndTime = end.caption;
    m_pBtnEndTime = end.button;
    m_pLabShowEndTime = end.shown;
    m_pLabEndIcon = end.icon;

    m_pDelConfig = new CMeetConfig(QString::fromUtf8("确定删除会议?"));

    connect(m_pBtnVedioType, &QPushButton::clicked, this, &ModifyMeet::onChooseVedioMeet);
    connect(m_pBtnVoiceType, &QPushButton::clicked, this, &ModifyMeet::onChooseAudioMeet);
    connect(m_pBtnCancelModify, &QPushButton::clicked, this, &ModifyMeet::onCancelModify);
}

ModifyMeet::~ModifyMeet()
{
    delete m_pDelConfig;
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

void ModifyMeet::onCancelModify()
{
    emit modifyCancel();
}

void ModifyMeet::mousePressEvent(QMouseEvent* event)
{
    m_pLabMeetTopic->setFocus(Qt::OtherFocusReason);
    QDialog::mousePressEvent(event);
}
