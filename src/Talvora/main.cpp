// Process entry: one instance per user, the log, the style sheet, the network
// library, then the cloud sign-in and the main window's modal run.

#include "Accessibility.h"
#include "CloudSignIn.h"
#include "ErrorBox.h"
#include "ProgressWindow.h"
#include "ServiceExchange.h"
#include "FocusRing.h"
#include "Talvora.h"
#include "crypto/Wipe.h"
#include "log/Log.h"
#include "platform/KelpNetUtils.h"
#include "platform/system/Desktop.h"
#include "platform/system/SingleInstance.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include <cstring>

namespace {

// 0 when the main window ran and was closed, -1 on any failure before that
// (each failure has shown its box, except a cancelled sign-in).
int loginAndRun()
{
    // Until the main window takes over, a slow exchange shows this window,
    // whose "取消" ends the start-up as a cancelled sign-in does.
    ProgressWindow progress;
    talvora::BusyPresenterScope busy(&progress);

    progress.setMessage(QString::fromUtf8("正在获取账号信息…"));
    talvora::CloudAccount account;
    // The SDK session keeps its own copy; this one goes on every way out.
    const talvora::WipeOnExit wipePassword([&account] { talvora::wipe(account.password); });
    if (talvora::signInToCloud(account) != 0)
        return -1;

    progress.setMessage(QString::fromUtf8("正在加载会议…"));
    Talvora window(account.userName, account.zcode, nullptr);
    if (talvora::quitRequested())
        return -1;
    window.setInitUserName(account.userName);
    const char* password = account.password.c_str();
    const bool started =
        window.startSdkSession(account.signInAccount, password, static_cast<int>(std::strlen(password)));
    // The window holds the one copy that its login needs.
    talvora::wipe(account.password);
    if (!started)
        return -1;
    window.exec();
    return 0;
}

void applyStyleSheet(QApplication& app)
{
    QFile styleSheet(QStringLiteral(":/Talvora/Resources/Talvora.qss"));
    if (!styleSheet.open(QIODevice::ReadOnly))
        return;
    app.setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
}

} // namespace

int main(int argc, char* argv[])
{
    talvora::platform::prepareDesktop();
    // Sizes stay in logical pixels and Qt scales them to the screen; images
    // come from their @2x files where the ratio calls for it. The ratio is
    // taken as the desktop sets it (125 % stays 1.25 rather than rounding
    // to 1), so the window has the size the user chose for everything else;
    // where the desktop sets none, it is exactly 1.
    if (talvora::platform::desktopChoosesScale()) {
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
        QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
            Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    } else {
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    }
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    talvora::platform::setUpDesktop();

    // Refused before anything is logged: a second copy leaves no log file.
    if (talvora::platform::acquireInstanceLock("Talvora") == talvora::platform::InstanceLock::HeldElsewhere) {
        talvora::showErrorBox("程序已启动");
        return -1;
    }

    initLog();

    // The resources live in a static library; without this the linker drops them.
    Q_INIT_RESOURCE(Talvora);
    applyStyleSheet(app);
    // Every window, the sign-in dialog included, shows the application's mark.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Talvora/Resources/favicon.ico")));
    talvora::installAccessibleInterfaces();
    FocusRing::install();

    if (NET_UTILS_Init() == 0) {
        talvora::showErrorBox("网络异常,初始化KelpNetUtils库失败");
        return -1;
    }

    return loginAndRun() == 0 ? 0 : -1;
}
