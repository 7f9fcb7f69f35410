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
    auto* label = control<QLabel>(parent, name, text, width, height);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

enum class EntryShape
{
    Tall,
    Wide
};

// An entry named after its stem: button m_pBtn<stem>, labels m_pLab<stem>Icon
// and m_pLab<stem>Word. Tall entries (160 x 108) hold the icon above the word,
// wide ones (160 x 60) side by side.
void buildEntry(QWidget* menu, EntryShape shape, const char* stem, const char* text, QPushButton*& button,
                QLabel*& icon, QLabel*& word)
{
    const QByteArray name(stem);
    const bool tall = shape == EntryShape::Tall;
    button = control<QPushButton>(menu, ("m_pBtn" + name).constData(), "", 160, tall ? 108 : 60);
    icon = makeLabel(button, ("m_pLab" + name + "Icon").constData(), "", tall ? 32 : 48, tall ? 32 : 48);
    word = makeLabel(button, ("m_pLab" + name + "Word").constData(), text, tall ? 80 : 40, 20);
    if (tall) {
        auto* outer = vbox(0, 0, 0, 0);
        outer->addLayout(vboxOf(64, 24, 64, 0, icon));
        outer->addLayout(vboxOf(40, 8, 40, 24, word));
        button->setLayout(outer);
    } else {
        button->setLayout(hboxOf(31, 6, 41, 6, icon, word));
    }
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
    m_pRenameBtn->setLayout(hboxOf(11, 20, 10, 0, m_pLabUserIcon, Gap{8}, m_pLabUserName));
    // Said as "修改用户名" with the user name as its description; the other
    // entries are said by their words.
    m_pRenameBtn->setAccessibleName(QString::fromUtf8("修改用户名"));

    buildEntry(this, EntryShape::Tall, "MyMeet", "我的会议", m_pBtnMyMeet, m_pLabMyMeetIcon,
               m_pLabMyMeetWord);
    buildEntry(this, EntryShape::Tall, "CreateMeet", "发起会议", m_pBtnCreateMeet, m_pLabCreateMeetIcon,
               m_pLabCreateMeetWord);
    buildEntry(this, EntryShape::Tall, "JoinMeet", "加入会议", m_pBtnJoinMeet, m_pLabJoinMeetIcon,
               m_pLabJoinMeetWord);
    buildEntry(this, EntryShape::Wide, "Set", "设置", m_pBtnSet, m_pLabSetIcon, m_pLabSetWord);
    buildEntry(this, EntryShape::Wide, "Min", "隐藏", m_pBtnMin, m_pLabMinIcon, m_pLabMinWord);
    buildEntry(this, EntryShape::Wide, "Logout", "退出", m_pBtnLogout, m_pLabLogoutIcon, m_pLabLogoutWord);

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
    talvora::frameless::paintShadowPart(painter, m_pixShadow, talvora::frameless::LeftEdge,
                                        QRect(width() - 5, 0, 5, height()));
    QDialog::paintEvent(event);
}
