#include "CreateMeetTop.h"

#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;

namespace {

const char* const kCurrentTabStyle = "QPushButton{background:transparent; "
                                     "color:#4194FF;font-size:24px;font-family:\"SourceHanSansCN-Medium\";}";
const char* const kOtherTabStyle = "QPushButton{background:transparent; "
                                   "color:#666666;font-size:24px;font-family:\"SourceHanSansCN-Medium\";}";
const char* const kCurrentUnderlineStyle = "QLabel{background-color:#4194FF;}";
const char* const kOtherUnderlineStyle = "QLabel{background-color:#ffffff;}";

} // namespace

CreateMeetTop::CreateMeetTop(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CreateMeetTop"));
    setFixedSize(900, 81);

    m_pLabTempMeet = control<QPushButton>(this, "m_pLabTempMeet", "临时会议", 96, 24);
    m_pLabBookMeet = control<QPushButton>(this, "m_pLabBookMeet", "预定会议", 96, 24);
    m_pLabTempMeetBlue = control<QLabel>(this, "m_pLabTempMeetBlue", "", 118, 4);
    m_pLabBookMeetBlue = control<QLabel>(this, "m_pLabBookMeetBlue", "", 118, 4);
    m_pLabLongLine = control<QLabel>(this, "m_pLabLongLine", "", 900, 1);

    auto* layout = pageLayout(this);
    layout->addLayout(hboxOf(51, 31, 595, 0, m_pLabTempMeet, Gap{62}, m_pLabBookMeet));
    layout->addLayout(hboxOf(40, 22, 584, 0, m_pLabTempMeetBlue, Gap{40}, m_pLabBookMeetBlue));
    layout->addLayout(hboxOf(0, 0, 0, 0, m_pLabLongLine));
}

void CreateMeetTop::showTempMeetCurrent()
{
    showCurrent(true);
}

void CreateMeetTop::showBookMeetCurrent()
{
    showCurrent(false);
}

void CreateMeetTop::showCurrent(bool tempMeet)
{
    const QString current = QString::fromUtf8(kCurrentTabStyle);
    const QString other = QString::fromUtf8(kOtherTabStyle);
    const QString currentLine = QString::fromUtf8(kCurrentUnderlineStyle);
    const QString otherLine = QString::fromUtf8(kOtherUnderlineStyle);
    m_pLabTempMeet->setStyleSheet(tempMeet ? current : other);
    m_pLabTempMeetBlue->setStyleSheet(tempMeet ? currentLine : otherLine);
    m_pLabBookMeet->setStyleSheet(tempMeet ? other : current);
    m_pLabBookMeetBlue->setStyleSheet(tempMeet ? otherLine : currentLine);
}
