#pragma once

#include <QPushButton>

// A page dot of the meeting list: a grey disc of radius 6. The list restyles
// the dot of the page on show.
class CircleButton : public QPushButton
{
    Q_OBJECT

public:
    static const char* const kSelectedStyle;
    static const char* const kUnselectedStyle;

    explicit CircleButton(QWidget* parent = nullptr);
};
