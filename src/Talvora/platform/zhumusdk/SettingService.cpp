#include "SettingService.h"

#include "SettingsDialog.h"
#include "TestCallWindow.h"

#include <QPointer>

namespace talvora::zhumu {
namespace {

QPointer<SettingsDialog> g_dialog;

} // namespace

int SettingService::showSettingsDialog(ZhumuSDK::ShowSettingDlgParam* param)
{
    if (!param)
        return kErrInvalidParameter;
    if (!param->show) {
        if (g_dialog)
            g_dialog->hide();
        return ZhumuSDK::SDKERR_SUCCESS;
    }
    if (!g_dialog) {
        // Owned by the client's window when the handle names one of ours, so
        // it stays above it and goes with it.
        QWidget* owner = param->parentWindow ? QWidget::find(static_cast<WId>(param->parentWindow)) : nullptr;
        g_dialog = new SettingsDialog(owner ? owner->window() : nullptr);
        SdkRuntime::instance().trackWindow(g_dialog);
        QObject::connect(g_dialog, &SettingsDialog::testCallRequested, g_dialog,
                         [] { TestCallWindow::open(g_dialog); });
    }
    g_dialog->move(param->left, param->top);
    g_dialog->show();
    g_dialog->raise();
    g_dialog->activateWindow();
    return ZhumuSDK::SDKERR_SUCCESS;
}

int SettingService::showTestCallWindow(ZhumuSDK::ShowSettingDlgParam* param)
{
    if (!param)
        return kErrInvalidParameter;
    if (!param->show)
        return ZhumuSDK::SDKERR_SUCCESS;
    QWidget* owner = param->parentWindow ? QWidget::find(static_cast<WId>(param->parentWindow)) : nullptr;
    TestCallWindow* window = TestCallWindow::open(owner);
    window->move(param->left, param->top);
    return ZhumuSDK::SDKERR_SUCCESS;
}

} // namespace talvora::zhumu
