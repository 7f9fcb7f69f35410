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
    m_share = makeButton(this, "shareScreenButton");
    label(m_share, QStringLiteral("共享屏幕"), QStringLiteral("Alt+S"));
    m_share->setIcon(meetingIcon(MeetingIcon::Share));
    m_share->setCheckable(true);
    // Checked only while sharing; a click asks the window, which decides.
    connect(m_share, &QToolButton::clicked, this, [this] {
        m_share->setChecked(!m_share->isChecked());
        emit shareClicked();
    });
    m_leave = makeButton(this, "leaveMeetingButton");
    label(m_leave, QStringLiteral("离开会议"), QStringLiteral("Alt+Q"));
    m_leave->setIcon(meetingIcon(MeetingIcon::Leave));
    m_end = makeButton(this, "endMeetingButton");
    label(m_end, QStringLiteral("结束会议"), QStringLiteral("Alt+Q"));
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
    layout->addWidget(m_share);
    layout->addStretch();
    layout->addWidget(m_leave);
    layout->addWidget(m_end);
    setTabOrder(m_mute, m_video);
    setTabOrder(m_video, m_participants);
    setTabOrder(m_participants, m_chat);
    setTabOrder(m_chat, m_share);
    setTabOrder(m_share, m_leave);
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
    label(m_participants, QStringLiteral("参会者 (%1)").arg(count), QStringLiteral("Alt+U"));
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
    m_chat->setToolTip(m_chat->text() + QStringLiteral(" (Alt+H)"));
    m_chat->setAccessibleName(count > 0 ? QStringLiteral("聊天，%1 条未读").arg(count)
                                        : QStringLiteral("聊天"));
}

void MeetingToolbar::setHost(bool host)
{
    m_end->setVisible(host);
}

void MeetingToolbar::label(QToolButton* button, const QString& text, const QString& key)
{
    button->setText(text);
    button->setAccessibleName(text);
    button->setToolTip(key.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, key));
}

void MeetingToolbar::setSharing(bool sharing)
{
    m_share->setChecked(sharing);
}

void MeetingToolbar::refresh()
{
    if (!m_hasMicrophone) {
        label(m_mute, QStringLiteral("未检测到麦克风"), QString());
        m_mute->setIcon(meetingIcon(MeetingIcon::MicrophoneOff, QColor(0x8a, 0x90, 0x99)));
    } else {
        label(m_mute, m_audioMuted ? QStringLiteral("解除静音") : QStringLiteral("静音"),
              QStringLiteral("Alt+A"));
        m_mute->setIcon(meetingIcon(m_audioMuted ? MeetingIcon::MicrophoneOff : MeetingIcon::Microphone));
    }
    m_mute->setEnabled(m_hasMicrophone);

    if (!m_hasCamera) {
        label(m_video, QStringLiteral("未检测到摄像头"), QString());
        m_video->setIcon(meetingIcon(MeetingIcon::CameraOff, QColor(0x8a, 0x90, 0x99)));
    } else {
        label(m_video, m_videoEnabled ? QStringLiteral("停止视频") : QStringLiteral("开启视频"),
              QStringLiteral("Alt+V"));
        m_video->setIcon(meetingIcon(m_videoEnabled ? MeetingIcon::Camera : MeetingIcon::CameraOff));
    }
    m_video->setEnabled(m_hasCamera);
}

} // namespace talvora::zhumu
