#include "ModifyMeet.h"

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
