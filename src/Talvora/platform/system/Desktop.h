#pragma once
// Makes the desktop look as the interface expects: prepareDesktop() before the
// QApplication is constructed, setUpDesktop() right after.

namespace talvora::platform {

// Keeps the X11 platform plugin from loading an OpenGL stack that a
// widgets-only interface never draws with (Mesa and its LLVM account for
// about half of the client's memory and start-up time). A choice that the
// environment already makes is left alone.
void prepareDesktop();

// Whether the desktop has chosen a scale for this session's windows: Xft.dpi
// among the X server's resources (120 for 125 %, 144 for 150 %, ...), Qt's
// QT_SCALE_FACTOR or QT_SCREEN_SCALE_FACTORS, or a platform other than X11,
// which scales by its own rules. Without such a choice the X server's
// physical size would set the scale (96.1 dpi makes 1.0012): the windows
// are then drawn at exactly 1x, as other desktop programs do. Call before
// the QApplication is constructed, and setUpDesktop() after it.
bool desktopChoosesScale();

// Names the desktop entry that the windows belong to, maps the font families
// that the style sheets name to the installed CJK face, makes that face the
// default for unstyled text, and installs Qt's own Simplified-Chinese
// translation so that standard buttons read "确定"/"取消".
void setUpDesktop();

} // namespace talvora::platform
