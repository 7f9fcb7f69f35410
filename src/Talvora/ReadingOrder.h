#pragma once
// Keyboard focus in reading order. The pages are assembled from dialogs that
// are created apart and adopted later (cards move in and out of the grid on
// every page switch), so the order of creation, which Qt's focus chain
// follows, says little about where a control sits on screen. Here the order
// comes from the layout itself: within each container, rows from top to
// bottom and, within a row, left to right; a container's controls come
// before the next sibling's.

#include <QList>

class QWidget;

namespace talvora::readingorder {

// The visible, enabled controls of `root` (not `root` itself) that Tab may
// reach, in reading order. Windows inside it (pop-ups) are left out.
QList<QWidget*> focusables(const QWidget* root);

// Moves the focus of `window` to the next control after the focused one, or
// the previous one, wrapping at either end; with no control focused, to the
// first or the last. False when the window has no such control.
bool moveFocus(QWidget* window, bool forward);

// Focuses the first control of `root` in reading order; false if it has none.
bool focusFirst(QWidget* root);

} // namespace talvora::readingorder
