#pragma once

#include "BusySpinner.h"
#include "ServiceExchange.h"

#include <QPointer>

// The main window's busy state: the spinner centred over the page area, above
// every page, while an exchange is slow.
class PageBusyIndicator : public BusySpinner, public talvora::BusyPresenter
{
    Q_OBJECT

public:
    // `pages` is the widget it centres on; both belong to `window`.
    PageBusyIndicator(QWidget* pages, QWidget* window);

    void showBusy() override;
    void hideBusy() override;

private:
    QPointer<QWidget> m_pPages;
};
