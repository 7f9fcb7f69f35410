#include "LeftMenu.h"

#include "FramelessWindow.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

using namespace talvora::build;

namespace {

// Labels inside an entry's button let clicks through, so a click anywhere on
// the entry clicks the button.
QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int width, int height)
{
    auto* label = talvora::build::control<QLabel>(parent, name, text, width, height);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

// An upper entry: the icon centred above the word, 160 x 108.
void buildTallEntry(QPushButton* button, QLabel* icon, QLabel* word)
{
    auto* iconBox = vbox(64, 24, 64, 0);
    iconBox->addWidget(icon);
    auto* wordBox = vbox(40, 8, 40, 24);
    wordBox->addWidget(word);
    auto* outer = vbox(0, 0, 0, 0);
    outer->addLayout(iconBox);
    outer->addLayout(wordBox);
    button->setLayout(outer);
}

// A lower entry: icon and word side by side, 160 x 60.
void buildWideEntry(QPushButton* button, QLabel* icon, QLabel* word)
{
    auto* row = hbox(31, 6, 41, 6);
    row->addWidget(icon);
    row->addWidget(word);
    button->setLayout(row);
}

} // namespace

LeftMenu::LeftMenu(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("LeftMenu"));
    setFixedSize(160, 680);
    m_pixShadow = talvora::frameless::loadShadow();

    m_pRenameBtn = control<QPushButton>(this, "m_pRenameBtn", "", 160, 44);
    m_pLabUserIcon = makeLabel(m_pRenameBtn, "m_pLabUserIcon", "", 24, 24);
    m_pLabUserName = makeLabel(m_pRenameBtn, "m_pLabUserName", "", 107, 18);
    auto* userRow = hbox(11, 20, 10, 0);
    userRow->addWidget(m_pLabUserIcon);
    userRow->addItem(fixedSpacer(8, 2));
    userRow->addWidget(m_pLabUserName);
    m_pRenameBtn->setLayout(userRow);

    m_pBtnMyMeet = control<QPushButton>(this, "m_pBtnMyMeet", "", 160, 108);
    m_pLabMyMeetIcon = makeLabel(m_pBtnMyMeet, "m_pLabMyMeetIcon", "", 32, 32);
    m_pLabMyMeetWord = makeLabel(m_pBtnMyMeet, "m_pLabMyMeetWord", "我的会议", 80, 20);
    buildTallEntry(m_pBtnMyMeet, m_pLabMyMeetIcon, m_pLabMyMeetWord);

    m_pBtnCreateMeet = control<QPushButton>(this, "m_pBtnCreateMeet", "", 160, 108);
    m_pLabCreateMeetIcon = makeLabel(m_pBtnCreateMeet, "m_pLabCreateMeetIcon", "", 32, 32);
    m_pLabCreateMeetWord = makeLabel(m_pBtnCreateMeet, "m_pLabCreateMeetWord", "发起会议", 80, 20);
    buildTallEntry(m_pBtnCreateMeet, m_pLabCreateMeetIcon, m_pLabCreateMeetWord);

    m_pBtnJoinMeet = control<QPushButton>(this, "m_pBtnJoinMeet", "", 160, 108);
    m_pLabJoinMeetIcon = makeLabel(m_pBtnJoinMeet, "m_pLabJoinMeetIcon", "", 32, 32);
    m_pLabJoinMeetWord = makeLabel(m_pBtnJoinMeet, "m_pLabJoinMeetWord", "加入会议", 80, 20);
    buildTallEntry(m_pBtnJoinMeet, m_pLabJoinMeetIcon, m_pLabJoinMeetWord);

    m_pBtnSet = control<QPushButton>(this, "m_pBtnSet", "", 160, 60);
    m_pLabSetIcon = makeLabel(m_pBtnSet, "m_pLabSetIcon", "", 48, 48);
    m_pLabSetWord = makeLabel(m_pBtnSet, "m_pLabSetWord", "设置", 40, 20);
    buildWideEntry(m_pBtnSet, m_pLabSetIcon, m_pLabSetWord);

    m_pBtnMin = control<QPushButton>(this, "m_pBtnMin", "", 160, 60);
    m_pLabMinIcon = makeLabel(m_pBtnMin, "m_pLabMinIcon", "", 48, 48);
    m_pLabMinWord = makeLabel(m_pBtnMin, "m_pLabMinWord", "隐藏", 40, 20);
    buildWideEntry(m_pBtnMin, m_pLabMinIcon, m_pLabMinWord);

    m_pBtnLogout = control<QPushButton>(this, "m_pBtnLogout", "", 160, 60);
    m_pLabLogoutIcon = makeLabel(m_pBtnLogout, "m_pLabLogoutIcon", "", 48, 48);
    m_pLabLogoutWord = makeLabel(m_pBtnLogout, "m_pLabLogoutWord", "退出", 40, 20);
    buildWideEntry(m_pBtnLogout, m_pLabLogoutIcon, m_pLabLogoutWord);

    // The rows add up to 740 pixels in a menu of 680; the box layout absorbs
    // the difference, and the logout entry stays at the bottom.
    auto* layout = pageLayout(this);
    layout->addWidget(m_pRenameBtn);
    layout->addItem(fixedSpacer(2, 20));
    layout->addWidget(m_pBtnMyMeet);
    layout->addWidget(m_pBtnCreateMeet);
    layout->addItem(fixedSpacer(2, 4));
    layout->addWidget(m_pBtnJoinMeet);
    layout->addItem(fixedSpacer(2, 167));
    layout->addWidget(m_pBtnSet);
    layout->addItem(fixedSpacer(2, 1));
    layout->addWidget(m_pBtnMin);
    layout->addWidget(m_pBtnLogout);
}

void LeftMenu::paintEvent(QPaintEvent* event)
{
    // Only a shadow along the right edge, from the image's left band.
    QPainter painter(this);
    painter.drawPixmap(QRect(width() - 5, 0, 5, height()), m_pixShadow,
                       talvora::frameless::shadowSources()[talvora::frameless::LeftEdge]);
    QDialog::paintEvent(event);
}
