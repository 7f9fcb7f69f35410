#include "MeetingWindow.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvora::zhumu {

MeetingWindow::MeetingWindow(const QString& number, const QString& displayName, bool videoOn, QWidget* owner)
    : QDialog(owner, Qt::Window)
{
    setObjectName(QStringLiteral("zhumuMeetingWindow"));
    setWindowTitle(QStringLiteral("会议 ") + number);
    setModal(false);
    setFixedSize(420, 300);
    setStyleSheet(
        QStringLiteral("QDialog{background:#1f2329;}"
                       "QLabel{color:#ffffff;font-size:14px;}"
                       "QFrame#videoArea{background:#2b3038;border-radius:6px;}"
                       "QLabel#meetingName{font-size:20px;}"
                       "QLabel#meetingVideoState{color:#aeb4bd;}"
                       "QPushButton#leaveMeetingButton{background:#e5484d;color:#ffffff;border:none;"
                       "border-radius:4px;padding:6px 18px;font-size:14px;}"));

    auto* videoArea = new QFrame(this);
    videoArea->setObjectName(QStringLiteral("videoArea"));
    auto* name = new QLabel(displayName, videoArea);
    name->setObjectName(QStringLiteral("meetingName"));
    name->setAlignment(Qt::AlignCenter);
    name->setTextFormat(Qt::PlainText);
    auto* video =
        new QLabel(videoOn ? QStringLiteral("摄像头已开启") : QStringLiteral("摄像头已关闭"), videoArea);
    video->setObjectName(QStringLiteral("meetingVideoState"));
    video->setAlignment(Qt::AlignCenter);
    auto* areaLayout = new QVBoxLayout(videoArea);
    areaLayout->addStretch();
    areaLayout->addWidget(name);
    areaLayout->addWidget(video);
    areaLayout->addStretch();

    auto* numberLabel = new QLabel(QStringLiteral("会议号：") + number, this);
    numberLabel->setObjectName(QStringLiteral("meetingNumber"));
    auto* leave = new QPushButton(QStringLiteral("离开会议"), this);
    leave->setObjectName(QStringLiteral("leaveMeetingButton"));
    leave->setAutoDefault(false);
    connect(leave, &QPushButton::clicked, this, &QDialog::reject);

    auto* bar = new QHBoxLayout;
    bar->addWidget(numberLabel);
    bar->addStretch();
    bar->addWidget(leave);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(videoArea, 1);
    layout->addLayout(bar);
}

} // namespace talvora::zhumu
