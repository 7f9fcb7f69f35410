#pragma once

#include <QDateTime>
#include <QDialog>
#include <QPixmap>
#include <QPoint>

class QLabel;
class QPushButton;
class VerticalScroll;

// The pop-up in which a booking's start or end is picked: five wheels, "取消"
// and "保存". StartTimeWin and StopTimeWin differ in name and title only; the
// owner page connects the buttons and applies its own save rules. Enter saves
// and Escape cancels, from any wheel.
class TimePickerWin : public QDialog
{
    Q_OBJECT

public:
    struct PickedTime
    {
        int year;
        int month;
        int day;
        int hour;
        int minute;
    };

    PickedTime picked() const;
    // Writes the wheels as given: no range check, no repaint.
    void setPicked(const PickedTime& time);
    // Out-of-range fields carry over as a calendar conversion does (31 April
    // is 1 May); a time equal to `now` is not in the past.
    static bool isPast(const PickedTime& time, const QDateTime& now);
    // Every fourth year has a 29 February; months outside 1 to 12 pass.
    static bool dayExists(const PickedTime& time);

    // The owners' save rules. The picked time goes into the owner's five
    // stored values; a past time (refused with `pastRefusal`, each owner has
    // its own wording) or a day the month lacks is refused with a box, the
    // stored values are then 0 and the picker stays open. An accepted time is
    // shown in `shown` and the picker closes.
    void takeInto(int& year, int& month, int& day, int& hour, int& minute, QLabel* shown,
                  const char* pastRefusal);

    // Sets the wheels to the first multiple of five minutes after `now`, so
    // that saving the defaults at once books a time in the future.
    void showDefaultTime(const QDateTime& now);

    QPushButton* m_pBtnCancel = nullptr;
    QPushButton* m_pBtnSave = nullptr;
    VerticalScroll* m_pScrollYear = nullptr;
    VerticalScroll* m_pScrollMonth = nullptr;
    VerticalScroll* m_pScrollDay = nullptr;
    VerticalScroll* m_pScrollHour = nullptr;
    VerticalScroll* m_pScrollMinute = nullptr;
    QLabel* m_pLabSetStartTimWord = nullptr;
    QLabel* m_pLabXLine = nullptr;
    QLabel* m_pLabVerticalLin = nullptr;
    QPixmap m_pixShadow;
    QPushButton* m_pBtnColon = nullptr;

protected:
    TimePickerWin(const char* objectName, const char* title, QWidget* parent);

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Opens with the focus on the year wheel; Tab goes through the wheels
    // from left to right, then "取消" and "保存".
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    QPoint m_ptDragOffset;
};
