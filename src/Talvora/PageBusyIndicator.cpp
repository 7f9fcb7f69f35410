#include "PageBusyIndicator.h"

PageBusyIndicator::PageBusyIndicator(QWidget* pages, QWidget* window)
    : BusySpinner(window, true), m_pPages(pages)
{
    setObjectName(QStringLiteral("m_pBusyIndicator"));
    hide();
}

void PageBusyIndicator::showBusy()
{
    if (m_pPages && parentWidget()) {
        const QPoint centre = m_pPages->mapTo(parentWidget(), m_pPages->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    raise();
    show();
}

void PageBusyIndicator::hideBusy()
{
    hide();
}
