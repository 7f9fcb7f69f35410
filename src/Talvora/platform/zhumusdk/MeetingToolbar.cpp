#include "MeetingToolbar.h"

#include "MeetingIcons.h"

#include <QHBoxLayout>
#include <QToolButton>

namespace talvora::zhumu {
namespace {

QToolButton* makeButton(QWidget* parent, const char* objectName)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIconSize(QSize(24, 24));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

MeetingToolbar::MeetingToolbar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("meetingToolbar"));
    setAttribute(Qt::WA_StyledBackground);

    m_mute = makeButton(this, "muteButton");
    m_video = makeButton(this, "videoButton");
    m_participants = makeButton(this, "participantsButton");
    m_participants->setCheckable(true);
    m_participants->setIcon(meetingIcon(MeetingIcon::People));
    m_chat = makeButton(this, "chatButton");
    m_chat->setCheckable(true);
    m_chat->setIcon(meetingIcon(MeetingIcon::Chat));
    m_leave = makeButton(this, "leaveMeetingButton");
    m_leave->setText(QStringLiteral("离开会议"));
    m_leave->setIcon(meetingIcon(MeetingIcon::Leave));
    m_end = makeButton(this, "endMeetingButton");
    m_end->setText(QStringLiteral("结束会议"));
    m_end->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_end->hide();

    connect(m_mute, &QToolButton::clicked, this, &MeetingToolbar::muteClicked);
    connect(m_video, &QToolButton::clicked, this, &MeetingToolbar::videoClicked);
    connect(m_participants, &QToolButton::toggled, this, &MeetingToolbar::participantsToggled);
    connect(m_chat, &QToolButton::toggled, this, &MeetingToolbar::chatToggled);
    connect(m_leave, &QToolButton::clicked, this, &MeetingToolbar::leaveClicked);
    connect(m_end, &QToolButton::clicked, this, &MeetingToolbar::endClicked);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 6, 16, 6);
    layout->setSpacing(8);
    layout->addWidget(m_mute);
    layout->addWidget(m_video);
    layout->addStretch();
    layout->addWidget(m_participants);
    layout->addWidget(m_chat);
    layout->addStretch();
    layout->addWidget(m_leave);
    layout->addWidget(m_end);
    setTabOrder(m_mute, m_video);
    setTabOrder(m_video, m_participants);
    setTabOrder(m_participants, m_chat);
    setTabOrder(m_chat, m_leave);
    setTabOrder(m_leave, m_end);

    setParticipantCount(0);
    setUnreadChats(0);
    refresh();
}

void MeetingToolbar::setDevices(bool hasMicrophone, bool hasCamera)
{
    m_hasMicrophone = hasMicrophone;
    m_hasCamera = hasCamera;
    refresh();
}

void MeetingToolbar::setAudioMuted(bool muted)
{
    m_audioMuted = muted;
    refresh();
}

void MeetingToolbar::setVideoEnabled(bool enabled)
{
    m_videoEnabled = enabled;
    refresh();
}

void MeetingToolbar::setParticipantCount(int count)
{
    m_participants->setText(QStringLiteral("参会者 (%1)").arg(count));
}

void MeetingToolbar::setParticipantsShown(bool shown)
{
    m_participants->setChecked(shown);
}

void MeetingToolbar::setChatShown(bool shown)
{
    m_chat->setChecked(shown);
}

void MeetingToolbar::setUnreadChats(int count)
{
    m_chat->setText(count > 0 ? QStringLiteral("聊天 (%1)").arg(count) : QStringLiteral("聊天"));
    m_chat->setAccessibleName(count > 0 ? QStringLiteral("聊天，%1 条未读").arg(count)
                                        : QStringLiteral("聊天"));
}

void MeetingToolbar::setHost(bool host)
{
    m_end->setVisible(host);
}

void MeetingToolbar::refresh()
{
    if (!m_hasMicrophone) {
        m_mute->setText(QStringLiteral("未检测到麦克风"));
        m_mute->setIcon(meetingIcon(MeetingIcon::MicrophoneOff, QColor(0x8a, 0x90, 0x99)));
    } else {
        m_mute->setText(m_audioMuted ? QStringLiteral("解除静音") : QStringLiteral("静音"));
        m_mute->setIcon(meetingIcon(m_audioMuted ? MeetingIcon::MicrophoneOff : MeetingIcon::Microphone));
    }
    m_mute->setEnabled(m_hasMicrophone);

    if (!m_hasCamera) {
        m_video->setText(QStringLiteral("未检测到摄像头"));
        m_video->setIcon(meetingIcon(MeetingIcon::CameraOff, QColor(0x8a, 0x90, 0x99)));
    } else {
        m_video->setText(m_videoEnabled ? QStringLiteral("停止视频") : QStringLiteral("开启视频"));
        m_video->setIcon(meetingIcon(m_videoEnabled ? MeetingIcon::Camera : MeetingIcon::CameraOff));
    }
    m_video->setEnabled(m_hasCamera);
}

} // namespace talvora::zhumu
