#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace talvora {

// Shows the client's failure box: QMessageBox::critical titled "出错提示"
// with one Ok button. Every user-facing failure goes through here so that
// tests can take the boxes without showing anything.
void showErrorBox(const QString& text, QWidget* parent = nullptr);
void showErrorBox(const char* utf8Text, QWidget* parent = nullptr);

// Replaces the box for tests: the hook receives the parent, the title and the
// text instead of a box being shown. An empty hook restores the real box.
using ErrorBoxHook = std::function<void(QWidget* parent, const QString& title, const QString& text)>;
void setErrorBoxHook(ErrorBoxHook hook);

} // namespace talvora
