#include "ErrorBox.h"

#include "ServiceExchange.h"

#include <QMessageBox>

namespace talvora {
namespace {

ErrorBoxHook& hook()
{
    static ErrorBoxHook instance;
    return instance;
}

} // namespace

void setErrorBoxHook(ErrorBoxHook newHook)
{
    hook() = std::move(newHook);
}

void showErrorBox(const QString& text, QWidget* parent)
{
    // A box would hold up a quit that the user has asked for.
    if (quitRequested())
        return;
    const QString title = QString::fromUtf8("出错提示");
    if (hook()) {
        hook()(parent, title, text);
        return;
    }
    // QMessageBox::critical, but texts that quote the service or the user are
    // shown as the characters they are.
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void showErrorBox(const char* utf8Text, QWidget* parent)
{
    showErrorBox(QString::fromUtf8(utf8Text), parent);
}

} // namespace talvora
