#include "Desktop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <xcb/xcb.h>

#include <cstdlib>

namespace talvora::platform {

void prepareDesktop()
{
    // Read by the xcb plugin while the QApplication is constructed; "none"
    // leaves it with its raster back-end, which draws every window alike.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", QByteArrayLiteral("none"));
}

namespace {

// The connection that read the X server's resources. It stays open until
// Qt has its own (setUpDesktop): an X server left without clients resets,
// and a connection made while it resets waits or fails.
xcb_connection_t* g_resourceReader = nullptr;

// "Xft.dpi:" with a positive whole number, on a line of the root window's
// RESOURCE_MANAGER property (what xrdb loads), as the xcb platform reads it.
bool xServerSetsDpi()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    g_resourceReader = connection;
    bool set = false;
    if (xcb_connection_has_error(connection) == 0) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        // 64 KiB, far more than a desktop's resources take.
        constexpr uint32_t kLongs = 16 * 1024;
        xcb_get_property_reply_t* reply =
            screens.rem == 0 ? nullptr
                             : xcb_get_property_reply(connection,
                                                      xcb_get_property(connection, 0, screens.data->root,
                                                                       XCB_ATOM_RESOURCE_MANAGER,
                                                                       XCB_ATOM_STRING, 0, kLongs),
                                                      nullptr);
        if (reply != nullptr) {
            const QByteArray resources(static_cast<const char*>(xcb_get_property_value(reply)),
                                       xcb_get_property_value_length(reply));
            for (const QByteArray& line : resources.split('\n')) {
                bool number = false;
                if (line.startsWith("Xft.dpi:") && line.mid(8).trimmed().toInt(&number) > 0 && number)
                    set = true;
            }
            std::free(reply);
        }
    }
    return set;
}

} // namespace

bool desktopChoosesScale()
{
    if (!qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR") ||
        !qEnvironmentVariableIsEmpty("QT_SCREEN_SCALE_FACTORS"))
        return true;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true;
    return xServerSetsDpi();
}

void setUpDesktop()
{
    if (g_resourceReader != nullptr) {
        xcb_disconnect(g_resourceReader);
        g_resourceReader = nullptr;
    }

    // Ties the windows to the installed desktop entry (its name and icon in
    // task bars and on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral(TALVORA_APP_ID));

    // Without these fontconfig picks a Western face for the names below, so
    // Han characters fall back glyph by glyph and digits and punctuation
    // come out in a different face.
    static const char* const kStyleSheetFamilies[] = {
        "SourceHanSansCN-Regular", "SourceHanSansCN-Medium", "SourceHanSansCN-Normal",
        "PingFangSC-Regular",      "MicrosoftYaHei",
    };
    for (const char* family : kStyleSheetFamilies)
        QFont::insertSubstitution(QString::fromLatin1(family), QStringLiteral("Noto Sans CJK SC"));

    // Text that no style rule names a family for (the time wheels, the
    // standard boxes) then uses the same face as the rest of the interface.
    QFont applicationFont = QApplication::font();
    applicationFont.setFamily(QStringLiteral("Noto Sans CJK SC"));
    QApplication::setFont(applicationFont);

    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace talvora::platform
