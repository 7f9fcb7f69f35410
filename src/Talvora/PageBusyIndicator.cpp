#include "PageBusyIndicator.h"

PageBusyIndicator::PageBusyIndicator(QWidget* pages, QWidget* window) : BusySpinner(window), m_pPages(pages)
{
    setObjectName(QStringLiteral("m_pBusyIndicator"));
    hide();
}

void PageBusyIndicator::showBusy()
{
    if (m_pPages && parentWidget()) {
        const QPoint centre = m_pPages->mapTo(parentWidget(), m_pPages->rect().center());
        move(centre - QPoint(kSize / 2, kSize / 2));
    }
    raise();
    show();
}

void PageBusyIndicator::hideBusy()
{
    hide();
}
