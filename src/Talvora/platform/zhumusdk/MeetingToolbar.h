#pragma once
// The meeting window's bottom bar: microphone, camera, the participant list,
// leaving, and for the host ending the meeting. It only shows state and
// reports clicks; the window decides what they do.

#include <QWidget>

class QToolButton;

namespace talvora::zhumu {

class MeetingToolbar : public QWidget
{
    Q_OBJECT

public:
    explicit MeetingToolbar(QWidget* parent = nullptr);

    // Without the device the button says so and cannot be pressed.
    void setDevices(bool hasMicrophone, bool hasCamera);
    void setAudioMuted(bool muted);
    void setVideoEnabled(bool enabled);
    void setParticipantCount(int count);
    void setParticipantsShown(bool shown);
    void setHost(bool host);
    void setChatShown(bool shown);
    // Messages that came while the chat was closed; 0 hides the count.
    void setUnreadChats(int count);

    QToolButton* muteButton() const { return m_mute; }
    QToolButton* videoButton() const { return m_video; }
    QToolButton* participantsButton() const { return m_participants; }
    QToolButton* leaveButton() const { return m_leave; }
    QToolButton* chatButton() const { return m_chat; }
    QToolButton* endButton() const { return m_end; }

signals:
    void muteClicked();
    void videoClicked();
    void participantsToggled(bool shown);
    void chatToggled(bool shown);
    void leaveClicked();
    void endClicked();

private:
    void refresh();

    QToolButton* m_mute;
    QToolButton* m_video;
    QToolButton* m_participants;
    QToolButton* m_chat;
    QToolButton* m_leave;
    QToolButton* m_end;
    bool m_hasMicrophone = true;
    bool m_hasCamera = true;
    bool m_audioMuted = false;
    bool m_videoEnabled = true;
};

} // namespace talvora::zhumu
