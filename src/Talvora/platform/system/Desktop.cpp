#include "Desktop.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace talvora::platform {

void prepareDesktop()
{
    // Read by the xcb plugin while the QApplication is constructed; "none"
    // leaves it with its raster back-end, which draws every window alike.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", QByteArrayLiteral("none"));
}

void setUpDesktop()
{
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
