#pragma once
// Makes the desktop look as the interface expects: prepareDesktop() before the
// QApplication is constructed, setUpDesktop() right after.

namespace talvora::platform {

// Keeps the X11 platform plugin from loading an OpenGL stack that a
// widgets-only interface never draws with (Mesa and its LLVM account for
// about half of the client's memory and start-up time). A choice that the
// environment already makes is left alone.
void prepareDesktop();

// Names the desktop entry that the windows belong to, maps the font families
// that the style sheets name to the installed CJK face, makes that face the
// default for unstyled text, and installs Qt's own Simplified-Chinese
// translation so that standard buttons read "确定"/"取消".
void setUpDesktop();

} // namespace talvora::platform
