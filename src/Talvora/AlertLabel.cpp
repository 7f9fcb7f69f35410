#include "AlertLabel.h"

#include <QAccessible>

AlertLabel::AlertLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    // With a screen reader listening, Qt has already made this label's
    // accessible interface while the QLabel part was being built, as a plain
    // label; dropped here, it is made again as an alert when next asked for.
    if (QAccessibleInterface* early = QAccessible::queryAccessibleInterface(this)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(early));
    }
}
