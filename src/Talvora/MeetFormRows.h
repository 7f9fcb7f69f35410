#pragma once
// The rows that the instant pane, the booking form and the edit page share:
// topic, separator rule, start or end time, meeting type; and the look of the
// two meeting-type buttons.

class QHBoxLayout;
class QLabel;
class QPushButton;
class QWidget;
class MyQlineEdit;

namespace talvora::meetform {

// Chosen: white text on the blue image; not chosen: blue text on the white one.
extern const char* const kChosenStyle;
extern const char* const kNotChosenStyle;

void showChosenType(QPushButton* video, QPushButton* voice, bool videoChosen,
                    const char* chosenStyle = kChosenStyle, const char* notChosenStyle = kNotChosenStyle);

// "会议主题" and the topic field holding its placeholder text.
QHBoxLayout* topicRow(QWidget* pane, int top, int right, int fieldWidth, QLabel*& caption, MyQlineEdit*& field);

// A 500 x 1 separator.
QHBoxLayout* ruleRow(QWidget* pane, const char* objectName, int top, QLabel*& rule);

// A caption and a clickable time field holding the chosen time and an icon.
struct TimeRow
{
    QLabel* caption = nullptr;
    QPushButton* button = nullptr;
    QLabel* shown = nullptr;
    QLabel* icon = nullptr;
};
QHBoxLayout* timeRow(QWidget* pane, const char* captionText, const char* prompt, const char* const names[4],
                     TimeRow& row);

// "会议类型" with the video and voice buttons; video looks chosen at first
// (the style sheet's rule).
QHBoxLayout* typeRow(QWidget* pane, QLabel*& caption, QPushButton*& video, QPushButton*& voice);

} // namespace talvora::meetform
