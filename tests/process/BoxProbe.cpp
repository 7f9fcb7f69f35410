// Linked into the process-test variants of the client: every "出错提示" box
// is announced on standard error ("error box: <title>|<text>") and then
// shown for real, so that a script can both read its text and press its
// button.

#include "ErrorBox.h"

#include <QMessageBox>

#include <cstdio>

namespace {

const bool installed = [] {
    talvora::setErrorBoxHook([](QWidget* parent, const QString& title, const QString& text) {
        std::fprintf(stderr, "error box: %s|%s\n", title.toUtf8().constData(), text.toUtf8().constData());
        std::fflush(stderr);
        QMessageBox::critical(parent, title, text, QMessageBox::Ok);
    });
    return true;
}();

} // namespace
