#include "BookMeetWin.h"

#include "MeetFormRows.h"
#include "MyQlineEdit.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;
namespace meetform = talvora::meetform;

const char* const BookMeetWin::kStartPrompt = "点击选择预定会议开始时间";
const char* const BookMeetWin::kEndPrompt = "点击选择预定会议结束时间";

BookMeetWin::BookMeetWin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("BookMeetWin"));
    setFixedSize(900, 599);

    static const char* const kStartNames[4] = {"m_pLabStartTime", "m_pBtnStartTime", "m_pLabShowStartTime",
                                               "m_pLabIcon"};
    static const char* const kEndNames[4] = {"m_pLabEndTime", "m_pBtnEndTime", "m_pLabShowEndTime",
                                             "m_pLabEndIcon"};
    meetform::TimeRow start;
    meetform::TimeRow end;

    auto* layout = pageLayout(this);
    layout->addLayout(meetform::topicRow(this, 109, 199, 379, m_pLabMeetTopic, m_pLnEtMeetTopic));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline", 23, m_pLabline));
    layout->addLayout(meetform::timeRow(this, "开始时间", kStartPrompt, kStartNames, start));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline2", 22, m_pLabline2));
    layout->addLayout(meetform::timeRow(this, "结束时间", kEndPrompt, kEndNames, end));
    layout->addLayout(meetform::ruleRow(this, "m_pLabline3", 22, m_pLabline3));
    layout->addLayout(meetform::typeRow(this, m_pLabMeetType, m_pBtnVedioType, m_pBtnVoiceType));
    m_pBtnBookMeetStart = control<QPushButton>(this, "m_pBtnBookMeetStart", "预定会议", 140, 56);
    auto* bookRow = hbox(380, 120, 380, 80);
    bookRow->addWidget(m_pBtnBookMeetStart);
    layout->addLayout(bookRow);

    m_pLabStartTime = start.caption;
    m_pBtnStartTime = start.button;
    m_pLabShowStartTime = start.shown;
    m_pLabIcon = start.icon;
    m_pLabEndTime = end.caption;
    m_pBtnEndTime = end.button;
    m_pLabShowEndTime = end.shown;
    m_pLabEndIcon = end.icon;
}

void BookMeetWin::mousePressEvent(QMouseEvent* event)
{
    m_pLabMeetTopic->setFocus(Qt::OtherFocusReason);
    QDialog::mousePressEvent(event);
}
