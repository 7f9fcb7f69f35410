#pragma once
// What a screen reader learns about the client's own controls beyond what Qt
// tells it by itself:
// - a time wheel is a spin box whose value is the number it shows;
// - a button that shows its text through labels inside it (menu entries, the
//   user name, the time fields) is named after those labels; with a name of
//   its own, the labels' text becomes its description;
// - a page dot is a page tab, selected while it is the dot of the page shown;
// - an AlertLabel is an alert;
// - pressing a button passes the same gate as a click while a service
//   exchange is in flight (ServiceExchange.h).
// Names themselves are set where the controls are built.

namespace talvora {

// Installs the interfaces above with Qt's accessibility; once per process,
// before a screen reader asks. Repeated calls do nothing.
void installAccessibleInterfaces();

} // namespace talvora
