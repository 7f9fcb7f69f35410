#pragma once
// Makes the desktop look as the interface expects. Call once, right after the
// QApplication has been constructed.

namespace talvora::platform {

// Names the desktop entry that the windows belong to, maps the font families
// that the style sheets name to the installed CJK face, makes that face the
// default for unstyled text, and installs Qt's own Simplified-Chinese
// translation so that standard buttons read "确定"/"取消".
void setUpDesktop();

} // namespace talvora::platform
