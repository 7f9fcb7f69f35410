#pragma once
// The rows that the instant pane, the booking form and the edit page share:
// topic, separator rule, start or end time, meeting type; the look of the
// two meeting-type buttons; and the checks before a booking or an edit is sent.

#include "TimePickerWin.h"

#include <QVBoxLayout>

#include <optional>

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
QHBoxLayout* topicRow(QWidget* pane, int top, int right, int fieldWidth, QLabel*& caption,
                      MyQlineEdit*& field);

// What the two time fields show until a time is chosen.
extern const char* const kStartPrompt;
extern const char* const kEndPrompt;

// A 500 x 1 separator.
QHBoxLayout* ruleRow(QWidget* pane, const char* objectName, int top, QLabel*& rule);

// A caption and a clickable time field holding the chosen time and an icon.
// The object names are the member names of the start or the end row.
enum class TimeRowKind
{
    Start,
    End
};
QHBoxLayout* timeRow(QWidget* pane, TimeRowKind kind, QLabel*& caption, QPushButton*& button, QLabel*& shown,
                     QLabel*& icon);

// "会议类型" with the video and voice buttons; video looks chosen at first
// (the style sheet's rule).
QHBoxLayout* typeRow(QWidget* pane, QLabel*& caption, QPushButton*& video, QPushButton*& voice);

// Refuses, each with its box, a missing topic (the placeholder or nothing),
// start and end on different days, and an end not after the start.
// Otherwise returns the length in minutes.
std::optional<long long> checkedDuration(const MyQlineEdit* topic, const TimePickerWin::PickedTime& start,
                                         const TimePickerWin::PickedTime& stop);

// The rows of the booking form and the edit page, from the topic down to the
// meeting type, written into the form's members of the same names.
template <typename Form>
void addMeetingRows(Form* form, QVBoxLayout* layout, int topicTop, int topicRight, int topicWidth)
{
    layout->addLayout(
        topicRow(form, topicTop, topicRight, topicWidth, form->m_pLabMeetTopic, form->m_pLnEtMeetTopic));
    layout->addLayout(ruleRow(form, "m_pLabline", 23, form->m_pLabline));
    layout->addLayout(timeRow(form, TimeRowKind::Start, form->m_pLabStartTime, form->m_pBtnStartTime,
                              form->m_pLabShowStartTime, form->m_pLabIcon));
    layout->addLayout(ruleRow(form, "m_pLabline2", 22, form->m_pLabline2));
    layout->addLayout(timeRow(form, TimeRowKind::End, form->m_pLabEndTime, form->m_pBtnEndTime,
                              form->m_pLabShowEndTime, form->m_pLabEndIcon));
    layout->addLayout(ruleRow(form, "m_pLabline3", 22, form->m_pLabline3));
    layout->addLayout(typeRow(form, form->m_pLabMeetType, form->m_pBtnVedioType, form->m_pBtnVoiceType));
}

} // namespace talvora::meetform
