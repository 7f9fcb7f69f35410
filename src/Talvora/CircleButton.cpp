#include "CircleButton.h"

#include <QAccessible>
#include <QEvent>

const char* const CircleButton::kSelectedStyle =
    "QPushButton{background:transparent;border-radius: 6px;background-color:#989898;}";
const char* const CircleButton::kUnselectedStyle =
    "QPushButton{background:transparent;border-radius: 6px;background-color:#D8D8D8;}";

CircleButton::CircleButton(QWidget* parent) : QPushButton(parent)
{
    setFixedSize(12, 12);
    setObjectName(QStringLiteral("CircleButton"));
    setStyleSheet(QString::fromUtf8(kUnselectedStyle));
}

bool CircleButton::isCurrentPage() const
{
    return styleSheet() == QLatin1String(kSelectedStyle);
}

void CircleButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::StyleChange && QAccessible::isActive()) {
        QAccessible::State selected;
        selected.selected = true;
        QAccessibleStateChangeEvent changed(this, selected);
        QAccessible::updateAccessibility(&changed);
    }
    QPushButton::changeEvent(event);
}
