#include "ShowMyMeetWin.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

ShowMyMeetWin::ShowMyMeetWin(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ShowMyMeetWin"));
    setFixedSize(900, 680);

    m_pGridLayout = new QGridLayout;
    m_pGridLayout->setSpacing(0);
    m_pGridLayout->setContentsMargins(29, 45, 29, 0);
    m_pGridLayout->setHorizontalSpacing(22);
    m_pGridLayout->setVerticalSpacing(22);

    m_pDotLayout = new QHBoxLayout;
    m_pDotLayout->setSpacing(20);
    m_pDotLayout->setContentsMargins(0, 57, 0, 44);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(m_pGridLayout);
    layout->addLayout(m_pDotLayout);
}
