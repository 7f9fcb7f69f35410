#include "CircleButton.h"

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
