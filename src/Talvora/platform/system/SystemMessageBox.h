#pragma once
// The operating system's own message box (MessageBoxW with MB_OK on the
// original target): no owner, one OK button, wide title and text. It looks
// like the system's dialogs, not like the client's styled "出错提示" boxes.

#include <functional>
#include <string>

namespace talvora::platform {

// Blocks until the user has closed the box, or returns at once while a test
// hook is installed.
void showSystemMessageBox(const std::wstring& title, const std::wstring& text);

// Replaces the box for tests: the hook receives the title and the text
// instead of a box being shown. An empty hook restores the real box.
using SystemMessageBoxHook = std::function<void(const std::wstring& title, const std::wstring& text)>;
void setSystemMessageBoxHook(SystemMessageBoxHook hook);

} // namespace talvora::platform
