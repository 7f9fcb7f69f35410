#include "Desktop.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace talvora::platform {

void setUpDesktop()
{
    // Without these fontconfig picks a Western face for the names below, so
    // Han characters fall back glyph by glyph and digits and punctuation
    // come out in a different face.
    static const char* const kStyleSheetFamilies[] = {
        "SourceHanSansCN-Regular", "SourceHanSansCN-Medium", "SourceHanSansCN-Normal",
        "PingFangSC-Regular",      "MicrosoftYaHei",
    };
    for (const char* family : kStyleSheetFamilies)
        QFont::insertSubstitution(QString::fromLatin1(family), QStringLiteral("Noto Sans CJK SC"));

    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace talvora::platform
