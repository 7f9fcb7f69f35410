#include "TempMeetWin.h"

#include "MeetFormRows.h"
#include "MyQlineEdit.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;
namespace meetform = talvora::meetform;

TempMeetWin::TempMeetWin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TempMeetWin"));
    setFixedSize(900, 599);

    auto* layout = pageLayout(this);
    layout->addLayout(meetform::topicRow(this, 178, 199, 379, m_pLabMeetTopic, m_pLnEtMeetTopic));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline", 23, m_pLabline));
    layout->addLayout(meetform::typeRow(this, m_pLabMeetType, m_pBtnVedioType, m_pBtnVoiceType));
    m_pBtnTempMeetStart = control<QPushButton>(this, "m_pBtnTempMeetStart", "立即开始", 140, 56);
    layout->addLayout(hboxOf(380, 181, 380, 80, m_pBtnTempMeetStart));

    connect(m_pBtnVedioType, &QPushButton::clicked, this, &TempMeetWin::onChooseVedioType);
    connect(m_pBtnVoiceType, &QPushButton::clicked, this, &TempMeetWin::onChooseVoiceType);
}

void TempMeetWin::onChooseVedioType()
{
    m_bVedioMeet = true;
    meetform::showChosenType(m_pBtnVedioType, m_pBtnVoiceType, true);
}

void TempMeetWin::onChooseVoiceType()
{
    m_bVedioMeet = false;
    meetform::showChosenType(m_pBtnVedioType, m_pBtnVoiceType, false);
}

void TempMeetWin::mousePressEvent(QMouseEvent* event)
{
    m_pLabMeetTopic->setFocus(Qt::OtherFocusReason);
    QDialog::mousePressEvent(event);
}
