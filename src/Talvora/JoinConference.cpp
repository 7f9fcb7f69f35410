#include "JoinConference.h"

#include "AlertLabel.h"
#include "WidgetBuilders.h"

#include <QAccessible>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace talvora::build;

namespace {

const char* const kFieldFocusedStyle =
    "QLineEdit:focus{border-image:url(:/Talvora/Resources/type_bg_on.png);color:#333333; text-align: center; "
    "font-size:24px;font-family:\"SourceHanSansCN-Regular\";}";
const char* const kFieldIdleStyle = "QLineEdit{border-image:url(:/Talvora/Resources/type_bg_nor.png);}";

// Image name stems in key order 1-9, 0, point, delete.
const char* const kKeyImages[] = {"keyboard_btn_01", "keyboard_btn_02",    "keyboard_btn_03",
                                  "keyboard_btn_04", "keyboard_btn_05",    "keyboard_btn_06",
                                  "keyboard_btn_07", "keyboard_btn_08",    "keyboard_btn_09",
                                  "keyboard_btn_0-", "keyboard_btn_point", "keyboard_btn_delet"};

QString keyStyle(int key, bool pressed)
{
    return QStringLiteral("QPushButton{border-image:url(:/Talvora/Resources/%1_%2.png);}")
        .arg(QString::fromLatin1(kKeyImages[key]), pressed ? QStringLiteral("press") : QStringLiteral("nor"));
}

// What a screen reader says for each key, in key order 1-9, 0, point, delete.
const char* const kKeyNames[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "点", "删除"};

// The colour of the wrong-code line while it is shown.
const char* const kWrongCodeShownColour = "#D75544";

QPushButton* key(QWidget* parent, const char* name)
{
    return control<QPushButton>(parent, name, "", 160, 56);
}

} // namespace

JoinConference::JoinConference(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("JoinConference"));
    setFixedSize(900, 680);

    m_QlntShow = new QLineEdit(this);
    m_QlntShow->setObjectName(QStringLiteral("m_QlntShow"));
    m_QlntShow->setFixedSize(560, 64);
    m_pBtnJoinMeet = control<QPushButton>(this, "m_pBtnJoinMeet", "加入会议", 160, 56);
    m_pLabMeetCodeWrong = control<AlertLabel>(this, "m_pLabMeetCodeWrong", "会议码不存在,请重试", 181, 25);
    m_pBtn1 = key(this, "m_pBtn1");
    m_pBtn2 = key(this, "m_pBtn2");
    m_pBtn3 = key(this, "m_pBtn3");
    m_pBtn4 = key(this, "m_pBtn4");
    m_pBtn5 = key(this, "m_pBtn5");
    m_pBtn6 = key(this, "m_pBtn6");
    m_pBtn7 = key(this, "m_pBtn7");
    m_pBtn8 = key(this, "m_pBtn8");
    m_pBtn9 = key(this, "m_pBtn9");
    m_pBtn0 = key(this, "m_pBtn0");
    m_pBtnPoint = key(this, "m_pBtnPoint");
    m_pBtnDelete = key(this, "m_pBtnDelete");

    auto* fieldRow = vboxOf(170, 64, 170, 0, m_QlntShow);
    auto* wrongRow = vboxOf(170, 4, 549, 0, m_pLabMeetCodeWrong);

    auto* grid = new QGridLayout;
    grid->setSpacing(0);
    grid->setHorizontalSpacing(40);
    grid->setVerticalSpacing(24);
    const auto all = keys();
    for (int digit = 0; digit < 9; ++digit) {
        grid->addWidget(all[digit], digit / 3, digit % 3);
    }
    grid->addWidget(m_pBtnPoint, 3, 0);
    grid->addWidget(m_pBtn0, 3, 1);
    grid->addWidget(m_pBtnDelete, 3, 2);
    auto* keypadRow = vbox(170, 35, 170, 0);
    keypadRow->addLayout(grid);

    auto* joinRow = vboxOf(371, 64, 369, 16, m_pBtnJoinMeet);
    m_pBtnTestCall = control<QPushButton>(this, "m_pBtnTestCall", "测试麦克风和摄像头", 160, 24);
    m_pBtnTestCall->setCursor(Qt::PointingHandCursor);
    auto* testCallRow = vboxOf(371, 0, 369, 32, m_pBtnTestCall);

    auto* layout = pageLayout(this);
    layout->addLayout(fieldRow);
    layout->addLayout(wrongRow);
    layout->addLayout(keypadRow);
    layout->addLayout(joinRow);
    layout->addLayout(testCallRow);

    connect(m_pBtn1, &QPushButton::clicked, this, &JoinConference::onChoose1);
    connect(m_pBtn2, &QPushButton::clicked, this, &JoinConference::onChoose2);
    connect(m_pBtn3, &QPushButton::clicked, this, &JoinConference::onChoose3);
    connect(m_pBtn4, &QPushButton::clicked, this, &JoinConference::onChoose4);
    connect(m_pBtn5, &QPushButton::clicked, this, &JoinConference::onChoose5);
    connect(m_pBtn6, &QPushButton::clicked, this, &JoinConference::onChoose6);
    connect(m_pBtn7, &QPushButton::clicked, this, &JoinConference::onChoose7);
    connect(m_pBtn8, &QPushButton::clicked, this, &JoinConference::onChoose8);
    connect(m_pBtn9, &QPushButton::clicked, this, &JoinConference::onChoose9);
    connect(m_pBtnPoint, &QPushButton::clicked, this, &JoinConference::onChoosePoint);
    connect(m_pBtn0, &QPushButton::clicked, this, &JoinConference::onChoose0);
    connect(m_pBtnDelete, &QPushButton::clicked, this, &JoinConference::onChooseDelete);
    connect(m_pBtnJoinMeet, &QPushButton::clicked, this, &JoinConference::onJoinMeetStart);
    connect(m_QlntShow, &QLineEdit::textChanged, this, &JoinConference::onConetenChange);

    for (int index = 0; index < KeyCount; ++index) {
        all[index]->setAccessibleName(QString::fromUtf8(kKeyNames[index]));
    }
    m_QlntShow->setAccessibleName(QString::fromUtf8("会议码"));
    m_QlntShow->installEventFilter(this);
    // The line is "hidden" in white on white; to a screen reader it is hidden
    // unless it is red, and it is announced when it turns red. It keeps its
    // place in the layout either way.
    QSizePolicy keepPlace = m_pLabMeetCodeWrong->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    m_pLabMeetCodeWrong->setSizePolicy(keepPlace);
    m_pLabMeetCodeWrong->hide();
    m_pLabMeetCodeWrong->installEventFilter(this);
}

int JoinConference::keyForTyped(const QKeyEvent* event)
{
    if (event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
        return -1;
    }
    if (event->key() == Qt::Key_Backspace) {
        return KeyDelete;
    }
    const QString text = event->text();
    if (text.size() != 1) {
        return -1;
    }
    const QChar typed = text.front();
    if (typed == QLatin1Char('.')) {
        return KeyPoint;
    }
    if (typed == QLatin1Char('0')) {
        return KeyZero;
    }
    if (typed >= QLatin1Char('1') && typed <= QLatin1Char('9')) {
        return typed.unicode() - QLatin1Char('1').unicode();
    }
    return -1;
}

bool JoinConference::takeTypedKey(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        m_pBtnJoinMeet->click();
        return true;
    }
    const int typed = keyForTyped(event);
    if (typed < 0) {
        return false;
    }
    keys()[typed]->click();
    return true;
}

void JoinConference::keyPressEvent(QKeyEvent* event)
{
    if (!takeTypedKey(event)) {
        QDialog::keyPressEvent(event);
    }
}

bool JoinConference::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_QlntShow && event->type() == QEvent::KeyPress) {
        return takeTypedKey(static_cast<QKeyEvent*>(event));
    }
    if (watched == m_pLabMeetCodeWrong && event->type() == QEvent::StyleChange) {
        const bool shown = m_pLabMeetCodeWrong->styleSheet().contains(QLatin1String(kWrongCodeShownColour));
        if (shown != m_pLabMeetCodeWrong->isVisible()) {
            m_pLabMeetCodeWrong->setVisible(shown);
            if (shown) {
                QAccessibleEvent alert(m_pLabMeetCodeWrong, QAccessible::Alert);
                QAccessible::updateAccessibility(&alert);
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

std::array<QPushButton*, JoinConference::KeyCount> JoinConference::keys() const
{
    return {m_pBtn1, m_pBtn2, m_pBtn3, m_pBtn4, m_pBtn5,     m_pBtn6,
            m_pBtn7, m_pBtn8, m_pBtn9, m_pBtn0, m_pBtnPoint, m_pBtnDelete};
}

void JoinConference::showKeysNormal(int pressedKey)
{
    const auto all = keys();
    for (int index = 0; index < KeyCount; ++index) {
        all[index]->setStyleSheet(keyStyle(index, index == pressedKey));
    }
}

void JoinConference::pressKey(int key)
{
    showKeysNormal(key);
    m_QlntShow->setFocus(Qt::OtherFocusReason);
    m_QlntShow->setStyleSheet(QString::fromUtf8(kFieldFocusedStyle));
    if (key == KeyDelete) {
        if (!m_strMeetCode.isEmpty()) {
            m_strMeetCode.chop(1);
        }
    } else if (key == KeyPoint) {
        m_strMeetCode += QLatin1Char('.');
    } else if (key == KeyZero) {
        m_strMeetCode += QLatin1Char('0');
    } else {
        m_strMeetCode += QChar(QLatin1Char('1').unicode() + key);
    }
    m_QlntShow->setText(m_strMeetCode);
}

void JoinConference::onChoose1()
{
    pressKey(0);
}
void JoinConference::onChoose2()
{
    pressKey(1);
}
void JoinConference::onChoose3()
{
    pressKey(2);
}
void JoinConference::onChoose4()
{
    pressKey(3);
}
void JoinConference::onChoose5()
{
    pressKey(4);
}
void JoinConference::onChoose6()
{
    pressKey(5);
}
void JoinConference::onChoose7()
{
    pressKey(6);
}
void JoinConference::onChoose8()
{
    pressKey(7);
}
void JoinConference::onChoose9()
{
    pressKey(8);
}
void JoinConference::onChoosePoint()
{
    pressKey(KeyPoint);
}
void JoinConference::onChoose0()
{
    pressKey(KeyZero);
}
void JoinConference::onChooseDelete()
{
    pressKey(KeyDelete);
}

void JoinConference::onJoinMeetStart()
{
    showKeysNormal(-1);
    m_pBtn1->setFocus(Qt::OtherFocusReason);
    m_QlntShow->setStyleSheet(QString::fromUtf8(kFieldIdleStyle));
}

void JoinConference::onConetenChange()
{
    m_QlntShow->setAlignment(m_QlntShow->text().isEmpty() ? Qt::AlignLeft : Qt::AlignCenter);
    m_QlntShow->setStyleSheet(QString::fromUtf8(kFieldFocusedStyle));
    m_strMeetCode = m_QlntShow->text();
}
