#include "SystemMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

namespace talvora::platform {
namespace {

SystemMessageBoxHook& hook()
{
    static SystemMessageBoxHook instance;
    return instance;
}

} // namespace

void setSystemMessageBoxHook(SystemMessageBoxHook newHook)
{
    hook() = std::move(newHook);
}

void showSystemMessageBox(const std::wstring& title, const std::wstring& text)
{
    if (hook()) {
        hook()(title, text);
        return;
    }

    // The application's style sheet restyles widgets by class, which would
    // dress this box like the client's own dialogs. A plain platform style and
    // its standard palette keep it looking like a system dialog; class rules
    // of the application sheet still reach it, as Qt offers no opt-out.
    // Declared first: the style must outlive the box.
    std::unique_ptr<QStyle> plainStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdWString(title), QString::fromStdWString(text),
                    QMessageBox::Ok);
    if (plainStyle) {
        box.setStyle(plainStyle.get());
        box.setPalette(plainStyle->standardPalette());
        for (QWidget* child : box.findChildren<QWidget*>()) {
            child->setStyle(plainStyle.get());
        }
    }
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(QStringLiteral("SystemMessageBox"));
    box.exec();
}

} // namespace talvora::platform
