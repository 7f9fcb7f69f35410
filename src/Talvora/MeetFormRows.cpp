#include "MeetFormRows.h"

#include "ErrorBox.h"
#include "MyQlineEdit.h"
#include "WidgetBuilders.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

using namespace talvora::build;

namespace talvora::meetform {

const char* const kChosenStyle =
    "QPushButton{background:transparent;border-image:url(:/Talvora/Resources/choose_on.png);color:#FFFFFF;"
    "font-size:18px;font-family:\"SourceHanSansCN-Regular\";text-align: center;}";
const char* const kNotChosenStyle =
    "QPushButton{background:transparent;border-image:url(:/Talvora/Resources/choose_nor.png);color:#4194FF;"
    "font-size:18px;font-family:\"SourceHanSansCN-Regular\";text-align: center;}";

const char* const kStartPrompt = "点击选择预定会议开始时间";
const char* const kEndPrompt = "点击选择预定会议结束时间";

void showChosenType(QPushButton* video, QPushButton* voice, bool videoChosen, const char* chosenStyle,
                    const char* notChosenStyle)
{
    video->setStyleSheet(QString::fromUtf8(videoChosen ? chosenStyle : notChosenStyle));
    voice->setStyleSheet(QString::fromUtf8(videoChosen ? notChosenStyle : chosenStyle));
}

std::optional<long long> checkedDuration(const MyQlineEdit* topic, const TimePickerWin::PickedTime& start,
                                         const TimePickerWin::PickedTime& stop)
{
    if (topic->text().isEmpty() || topic->holdsPlaceholder()) {
        showErrorBox("会议主题没有输入,请输入");
        return std::nullopt;
    }
    if (start.year != stop.year || start.month != stop.month || start.day != stop.day) {
        showErrorBox("预约会议不能跨年、跨月和跨日,请重新选择");
        return std::nullopt;
    }
    const long long duration = (static_cast<long long>(stop.hour) - start.hour) * 60 +
                               (static_cast<long long>(stop.minute) - start.minute);
    if (duration <= 0) {
        showErrorBox("会议时长错误,请重新选择");
        return std::nullopt;
    }
    return duration;
}

namespace {

// Keeps a field's place in its row at the row's own height while the field
// takes the height its text needs, centred on the same line. A 20 px field
// under a 20 px font cut off the descenders (g j p q y) and the bottom
// strokes of characters such as 审 and 周, and its focus ring ran through the
// baseline; the caption and the rows below stay where they were.
class CentredFieldItem : public QWidgetItem
{
public:
    CentredFieldItem(QWidget* field, QSize place) : QWidgetItem(field), m_place(place) {}

    QSize sizeHint() const override { return m_place; }
    QSize minimumSize() const override { return m_place; }
    QSize maximumSize() const override { return m_place; }
    Qt::Orientations expandingDirections() const override { return {}; }
    void setGeometry(const QRect& rect) override
    {
        if (isEmpty())
            return;
        const int overflow = std::max(0, widget()->sizeHint().height() - rect.height());
        const int half = (overflow + 1) / 2;
        widget()->setGeometry(rect.adjusted(0, -half, 0, half));
    }

private:
    QSize m_place;
};

} // namespace

QHBoxLayout* topicRow(QWidget* pane, int top, int right, int fieldWidth, QLabel*& caption,
                      MyQlineEdit*& field)
{
    constexpr int kRowHeight = 20;
    caption = control<QLabel>(pane, "m_pLabMeetTopic", "会议主题", 81, kRowHeight);
    field = new MyQlineEdit(pane);
    field->setObjectName(QStringLiteral("m_pLnEtMeetTopic"));
    field->setFixedWidth(fieldWidth);
    field->setText(QString::fromUtf8(MyQlineEdit::kPlaceholder));
    caption->setBuddy(field);
    QHBoxLayout* row = hboxOf(201, top, right, 0, caption, Gap{40});
    row->addItem(new CentredFieldItem(field, QSize(fieldWidth, kRowHeight)));
    return row;
}

QHBoxLayout* ruleRow(QWidget* pane, const char* objectName, int top, QLabel*& rule)
{
    rule = control<QLabel>(pane, objectName, "", 500, 1);
    return hboxOf(201, top, 199, 0, rule);
}

QHBoxLayout* timeRow(QWidget* pane, TimeRowKind kind, QLabel*& caption, QPushButton*& button, QLabel*& shown,
                     QLabel*& icon)
{
    const bool start = kind == TimeRowKind::Start;
    caption = control<QLabel>(pane, start ? "m_pLabStartTime" : "m_pLabEndTime",
                              start ? "开始时间" : "结束时间", 81, 20);
    button = control<QPushButton>(pane, start ? "m_pBtnStartTime" : "m_pBtnEndTime", "", 271, 20);
    shown = control<QLabel>(button, start ? "m_pLabShowStartTime" : "m_pLabShowEndTime",
                            start ? kStartPrompt : kEndPrompt, 242, 20);
    icon = control<QLabel>(button, start ? "m_pLabIcon" : "m_pLabEndIcon", "", 16, 16);
    button->setLayout(hboxOf(0, 0, 0, 0, shown, Gap{13}, icon));
    // Said as "开始时间" with the time (or the prompt) as its description.
    button->setAccessibleName(caption->text());
    return hboxOf(201, 22, 199, 0, caption, Gap{148}, button);
}

QHBoxLayout* typeRow(QWidget* pane, QLabel*& caption, QPushButton*& video, QPushButton*& voice)
{
    caption = control<QLabel>(pane, "m_pLabMeetType", "会议类型", 81, 20);
    video = control<QPushButton>(pane, "m_pBtnVedioType", "视频会议", 96, 36);
    voice = control<QPushButton>(pane, "m_pBtnVoiceType", "语音会议", 96, 36);
    return hboxOf(201, 24, 370, 0, caption, Gap{40}, video, Gap{16}, voice);
}

} // namespace talvora::meetform
