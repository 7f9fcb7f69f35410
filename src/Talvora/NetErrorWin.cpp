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

    auto* layout = pageLayout(this);
    layout->addLayout(vboxOf(340, 175, 340, 0, m_pLabNetErrorIcon));
    layout->addLayout(vboxOf(389, 23, 390, 242, m_pLabNetErrorWord));
}
