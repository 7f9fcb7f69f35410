#include "NetErrorWin.h"

#include "WidgetBuilders.h"

#include <QLabel>

using namespace talvora::build;

NetErrorWin::NetErrorWin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NetErrorWin"));
    setFixedSize(900, 680);

    m_pLabNetErrorIcon = control<QLabel>(this, "m_pLabNetErrorIcon", "", 220, 220);
    m_pLabNetErrorWord = control<QLabel>(this, "m_pLabNetErrorWord", "网络连接异常", 121, 20);

    auto* iconRow = vbox(340, 175, 340, 0);
    iconRow->addWidget(m_pLabNetErrorIcon);
    auto* wordRow = vbox(389, 23, 390, 242);
    wordRow->addWidget(m_pLabNetErrorWord);

    auto* layout = pageLayout(this);
    layout->addLayout(iconRow);
    layout->addLayout(wordRow);
}
