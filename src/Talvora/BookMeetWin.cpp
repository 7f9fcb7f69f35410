#include "BookMeetWin.h"

#include "MeetFormRows.h"
#include "MyQlineEdit.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;
namespace meetform = talvora::meetform;

BookMeetWin::BookMeetWin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("BookMeetWin"));
    setFixedSize(900, 599);

    auto* layout = pageLayout(this);
    meetform::addMeetingRows(this, layout, 109, 199, 379);
    m_pBtnBookMeetStart = control<QPushButton>(this, "m_pBtnBookMeetStart", "预定会议", 140, 56);
    layout->addLayout(hboxOf(380, 120, 380, 80, m_pBtnBookMeetStart));
}

void BookMeetWin::mousePressEvent(QMouseEvent* event)
{
    m_pLabMeetTopic->setFocus(Qt::OtherFocusReason);
    QDialog::mousePressEvent(event);
}
