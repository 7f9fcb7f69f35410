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

    // The dot of the page on show: the list gives it the selected style.
    bool isCurrentPage() const;

protected:
    // Tells a screen reader when the dot's style makes it current or not.
    void changeEvent(QEvent* event) override;
};
