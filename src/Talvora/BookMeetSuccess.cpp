#include "BookMeetSuccess.h"

#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

using namespace talvora::build;

namespace {

QHBoxLayout* detailRow(int top, QLabel* caption, int gap, QLabel* content)
{
    return hboxOf(241, top, 200, 0, caption, Gap{gap}, content);
}

} // namespace

BookMeetSuccess::BookMeetSuccess(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("BookMeetSuccess"));
    setFixedSize(900, 599);

    m_pLabSucTop = control<QLabel>(this, "m_pLabSucTop", "", 163, 143);
    m_pLabSucIcon = control<QLabel>(m_pLabSucTop, "m_pLabSucIcon", "", 80, 80);
    m_pLabWordSuc = control<QLabel>(m_pLabSucTop, "m_pLabWordSuc", "预定成功", 104, 25);
    m_pLabWordSave = control<QLabel>(m_pLabSucTop, "m_pLabWordSave", "可在我的会议中查看", 163, 18);
    auto* banner = vbox(0, 0, 0, 0);
    banner->addWidget(m_pLabSucIcon, 0, Qt::AlignHCenter);
    banner->addItem(fixedSpacer(2, 13));
    banner->addWidget(m_pLabWordSuc, 0, Qt::AlignHCenter);
    banner->addItem(fixedSpacer(2, 7));
    banner->addWidget(m_pLabWordSave);
    m_pLabSucTop->setLayout(banner);

    m_pLabMeetTopic = control<QLabel>(this, "m_pLabMeetTopic", "会议主题", 81, 20);
    m_pLabTopicContent = control<QLabel>(this, "m_pLabTopicContent", "", 338, 20);
    m_pLabMeetTime = control<QLabel>(this, "m_pLabMeetTime", "会议时间", 81, 20);
    m_pLabTimeContent = control<QLabel>(this, "m_pLabTimeContent", "本次会议时间", 338, 20);
    m_pLabMeetCode = control<QLabel>(this, "m_pLabMeetCode", "会议码", 61, 20);
    m_pLabCodeContent = control<QLabel>(this, "m_pLabCodeContent", "本次会议码", 338, 20);
    m_pLabMeetType = control<QLabel>(this, "m_pLabMeetType", "会议类型", 81, 20);
    m_pLabTypeContent = control<QLabel>(this, "m_pLabTypeContent", "本次会议类型", 338, 20);
    m_pBtnModify = control<QPushButton>(this, "m_pBtnModify", "编辑", 140, 56);
    m_pBtnBookAgain = control<QPushButton>(this, "m_pBtnBookAgain", "再定一场", 140, 56);

    auto* bannerRow = vboxOf(369, 56, 368, 0, m_pLabSucTop);
    auto* buttonRow = hboxOf(290, 51, 290, 81, m_pBtnModify, Gap{40}, m_pBtnBookAgain);

    auto* layout = pageLayout(this);
    layout->addLayout(bannerRow);
    layout->addLayout(detailRow(60, m_pLabMeetTopic, 40, m_pLabTopicContent));
    layout->addLayout(detailRow(24, m_pLabMeetTime, 40, m_pLabTimeContent));
    layout->addLayout(detailRow(24, m_pLabMeetCode, 60, m_pLabCodeContent));
    layout->addLayout(detailRow(24, m_pLabMeetType, 40, m_pLabTypeContent));
    layout->addLayout(buttonRow);
}
