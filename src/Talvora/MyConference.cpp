#include "MyConference.h"

#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;

MyConference::MyConference(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MyConference"));
    setFixedSize(900, 680);

    m_pLabNoCfeIcon = control<QLabel>(this, "m_pLabNoCfeIcon", "", 272, 242);
    m_pLabNoMeet = control<QLabel>(this, "m_pLabNoMeet", "暂无会议", 79, 20);
    m_pLabTryOther = control<QLabel>(this, "m_pLabTryOther", "您还可以尝试以下操作", 198, 20);
    m_pBtnTryCreateMeet = control<QPushButton>(this, "m_pBtnTryCreateMeet", "", 72, 72);
    m_pBtnTryJoinMeet = control<QPushButton>(this, "m_pBtnTryJoinMeet", "", 72, 72);
    m_pLabTryCreateMeet = control<QLabel>(this, "m_pLabTryCreateMeet", "发起会议", 80, 20);
    m_pLabTryJoinMeet = control<QLabel>(this, "m_pLabTryJoinMeet", "加入会议", 80, 20);
    m_pBtnTryCreateMeet->setAccessibleName(m_pLabTryCreateMeet->text());
    m_pBtnTryJoinMeet->setAccessibleName(m_pLabTryJoinMeet->text());

    auto* layout = pageLayout(this);
    layout->addLayout(vboxOf(314, 114, 314, 0, m_pLabNoCfeIcon));
    layout->addLayout(vboxOf(410, 30, 411, 0, m_pLabNoMeet));
    layout->addLayout(vboxOf(351, 12, 351, 0, m_pLabTryOther));
    layout->addLayout(hboxOf(263, 82, 264, 0, m_pBtnTryCreateMeet, Gap{229}, m_pBtnTryJoinMeet));
    layout->addLayout(hboxOf(260, 12, 260, 60, m_pLabTryCreateMeet, Gap{220}, m_pLabTryJoinMeet));
}
