#include "TimePickerWin.h"

#include "ErrorBox.h"
#include "FramelessWindow.h"
#include "MeetTimeText.h"
#include "ReadingOrder.h"
#include "VerticalScroll.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <utility>

using namespace talvora::build;
namespace frameless = talvora::frameless;

namespace {

QDateTime nextFiveMinutes(const QDateTime& now)
{
    const QTime time = now.time();
    // Past 10:55 this carries into the next hour (or day) rather than
    // showing minute 60.
    return QDateTime(now.date(), QTime(time.hour(), 0)).addSecs((time.minute() / 5 * 5 + 5) * 60);
}

} // namespace

TimePickerWin::TimePickerWin(const char* objectName, const char* title, QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(750, 409);
    setObjectName(QString::fromLatin1(objectName));

    const QDateTime start = nextFiveMinutes(QDateTime::currentDateTime());
    // The wheels are dialogs too: created without a parent, the layout adopts
    // them as plain child widgets (a dialog parent would make each a window).
    m_pBtnCancel = control<QPushButton>(this, "m_pBtnCancel", "取消", 370, 60);
    m_pBtnSave = control<QPushButton>(this, "m_pBtnSave", "保存", 370, 60);
    m_pScrollYear = new VerticalScroll(QString::fromUtf8("年"), 2080, 2017, start.date().year(), 1);
    m_pScrollMonth = new VerticalScroll(QString::fromUtf8("月"), 12, 1, start.date().month(), 1);
    m_pScrollDay = new VerticalScroll(QString::fromUtf8("日"), 31, 1, start.date().day(), 1);
    m_pScrollHour = new VerticalScroll(QString(), 23, 0, start.time().hour(), 1);
    m_pScrollMinute = new VerticalScroll(QString(), 59, 0, start.time().minute(), 5);
    m_pLabSetStartTimWord = control<QLabel>(this, "m_pLabSetStartTimWord", title, 217, 24);
    m_pLabXLine = control<QLabel>(this, "m_pLabXLine", "", 740, 1);
    m_pLabVerticalLin = control<QLabel>(this, "m_pLabVerticalLin", "", 1, 60);
    m_pBtnColon = control<QPushButton>(this, "m_pBtnColon", ":", 25, 33);
    m_pBtnColon->setFocusPolicy(Qt::NoFocus);
    // What a screen reader calls each wheel; the hour and minute wheels show
    // no unit.
    const std::pair<VerticalScroll*, const char*> wheelNames[] = {{m_pScrollYear, "年"},
                                                                  {m_pScrollMonth, "月"},
                                                                  {m_pScrollDay, "日"},
                                                                  {m_pScrollHour, "时"},
                                                                  {m_pScrollMinute, "分"}};
    for (const auto& [wheel, name] : wheelNames) {
        wheel->setAccessibleName(QString::fromUtf8(name));
    }
    // Enter on a wheel saves, as the button would.
    m_pBtnSave->setDefault(true);
    setAccessibleName(QString::fromUtf8(title));

    auto* titleRow = hboxOf(262, 28, 261, 0, m_pLabSetStartTimWord);
    auto* wheelRow = hboxOf(53, 48, 53, 0, m_pScrollYear, m_pScrollMonth, m_pScrollDay, Gap{69},
                            m_pScrollHour, m_pBtnColon, m_pScrollMinute);
    auto* buttonRow = hboxOf(0, 0, 0, 0, m_pBtnCancel, m_pLabVerticalLin, m_pBtnSave);

    auto* layout = pageLayout(this);
    frameless::setShadowMargins(layout);
    layout->addLayout(titleRow);
    layout->addLayout(wheelRow);
    layout->addItem(fixedSpacer(2, 45));
    layout->addWidget(m_pLabXLine);
    layout->addLayout(buttonRow);

    move(x() + 634, y() + 269);
    m_pixShadow = frameless::loadShadow();
}

void TimePickerWin::showDefaultTime(const QDateTime& now)
{
    const QDateTime start = nextFiveMinutes(now);
    setPicked({start.date().year(), start.date().month(), start.date().day(), start.time().hour(),
               start.time().minute()});
}

void TimePickerWin::setPicked(const PickedTime& time)
{
    m_pScrollYear->setCurrentValue(time.year);
    m_pScrollMonth->setCurrentValue(time.month);
    m_pScrollDay->setCurrentValue(time.day);
    m_pScrollHour->setCurrentValue(time.hour);
    m_pScrollMinute->setCurrentValue(time.minute);
}

TimePickerWin::PickedTime TimePickerWin::picked() const
{
    return {m_pScrollYear->currentValue(), m_pScrollMonth->currentValue(), m_pScrollDay->currentValue(),
            m_pScrollHour->currentValue(), m_pScrollMinute->currentValue()};
}

void TimePickerWin::takeInto(int& year, int& month, int& day, int& hour, int& minute, QLabel* shown,
                             const char* pastRefusal)
{
    const PickedTime time = picked();
    year = time.year;
    month = time.month;
    day = time.day;
    hour = time.hour;
    minute = time.minute;
    const char* refusal = nullptr;
    if (isPast(time, QDateTime::currentDateTime())) {
        refusal = pastRefusal;
    } else if (!dayExists(time)) {
        refusal = "日期不存在";
    }
    if (refusal != nullptr) {
        talvora::showErrorBox(refusal);
        year = month = day = hour = minute = 0;
        return;
    }
    shown->setText(QString::fromStdString(talvora::timetext::datePart(year, month, day) +
                                          talvora::timetext::clock(hour, minute)));
    close();
}

bool TimePickerWin::isPast(const PickedTime& time, const QDateTime& now)
{
    const QDateTime picked = QDateTime(QDate(time.year, 1, 1), QTime(0, 0))
                                 .addMonths(time.month - 1)
                                 .addDays(qint64(time.day) - 1)
                                 .addSecs(qint64(time.hour) * 3600 + qint64(time.minute) * 60);
    return !picked.isValid() || picked < now;
}

bool TimePickerWin::dayExists(const PickedTime& time)
{
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.month < 1 || time.month > 12) {
        return true;
    }
    const int days = time.month == 2 && time.year % 4 == 0 ? 29 : kDaysInMonth[time.month - 1];
    return time.day <= days;
}

void TimePickerWin::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_pScrollYear->setFocus(Qt::ActiveWindowFocusReason);
}

bool TimePickerWin::focusNextPrevChild(bool next)
{
    return talvora::readingorder::moveFocus(this, next) || QDialog::focusNextPrevChild(next);
}

void TimePickerWin::mousePressEvent(QMouseEvent* event)
{
    frameless::startDrag(m_ptDragOffset, *this, event);
}

void TimePickerWin::mouseReleaseEvent(QMouseEvent* event)
{
    Q_UNUSED(event);
}

void TimePickerWin::mouseMoveEvent(QMouseEvent* event)
{
    frameless::followDrag(*this, m_ptDragOffset, event);
}

void TimePickerWin::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    frameless::fillBody(painter, size());
    frameless::paintShadow(painter, m_pixShadow, size());
}
