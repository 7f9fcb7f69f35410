#pragma once
// The stand-in's meeting window: a top-level window of its own (even with an
// owner), titled "会议 {number}", that draws what the meeting engine reports
// (tiles, names, talking, a lost connection) and sends it the user's
// commands. How the meeting ends is reported once through over(); the window
// then hides, and whoever made it deletes it.

#include "media/MeetingEngine.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

class QLabel;
class QSpacerItem;
class QToolButton;

namespace talvora::zhumu {

class ActiveSpeaker;
class ChatPanel;
class GalleryView;
class MeetingShare;
class MutedHint;
class MeetingRoster;
class MeetingToolbar;
class ParticipantsPanel;

class MeetingWindow : public QDialog
{
    Q_OBJECT

public:
    enum class Outcome
    {
        Left,           // the user left (button, close, service gone)
        EndedByMe,      // the host ended the meeting for everyone
        EndedByHost,    // someone else ended it, or the service did
        ConnectionLost, // no recovery within the grace period
        Failed,         // the engine gave up (refused, removed)
        Removed,        // the host put this participant out of the meeting
    };
    Q_ENUM(Outcome)

    // `self`: this participant as it joins (name, host, muted, video off).
    MeetingWindow(const QString& number, const media::Participant& self, media::MeetingEngine* engine,
                  QWidget* owner = nullptr);
    ~MeetingWindow() override;

    MeetingRoster* roster() const { return m_roster; }
    GalleryView* gallery() const { return m_gallery; }
    ActiveSpeaker* activeSpeaker() const { return m_speakers; }
    QToolButton* viewButton() const { return m_viewButton; }
    QToolButton* fullScreenButton() const { return m_fullScreenButton; }
    ChatPanel* chatPanel() const { return m_chat; }
    ParticipantsPanel* participantsPanel() const { return m_panel; }
    MeetingToolbar* toolbar() const { return m_toolbar; }

    // "宫格视图" or "演讲者视图".
    void setSpeakerView(bool speaker);
    // F11 turns it on and off, Escape turns it off.
    void setFullScreen(bool on);
    bool isJoined() const { return m_joined; }
    bool isOver() const { return m_over; }
    MeetingShare* share() const { return m_share; }

    // "共享屏幕": the chooser, or why not now; while sharing, stops.
    void startShareFlow();

    // How long a lost connection may last before the window gives up; 60 s
    // unless a test shortens it. Applies to windows made afterwards.
    static void setConnectionGraceForTesting(int milliseconds);

signals:
    void joined();
    void over(talvora::zhumu::MeetingWindow::Outcome outcome);
    // The host's moderation, for the service to carry out: a participant's
    // microphone, everyone's but the host's, or a participant out (the
    // host has confirmed it).
    void muteRequested(qint64 participantId);
    void muteAllRequested();
    void removeRequested(qint64 participantId);
    // The user unmutes after the host muted them: the media server drops
    // their sound until the host's mute is lifted, which the service does.
    void unmuteRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape does not leave a meeting; only the button or closing does. It
    // leaves full screen.
    void reject() override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout(const QString& number);
    void addShortcuts();
    void orderTabs();
    void refreshViewButtons();
    void onJoined();
    void onAdded(const media::Participant& participant);
    void onChanged(const media::Participant& before, const media::Participant& now);
    void onRemoved(const media::Participant& participant);
    void onMuteClicked();
    void onVideoClicked();
    void onEndClicked();
    void onRemoveClicked(qint64 participantId);
    void onMutedByHost();
    void onChatSend(const QString& text);
    void onMeetingEnded();
    void onConnectionLost();
    void onConnectionRestored();
    void updateClock();
    void refreshParticipants();
    void finish(Outcome outcome);
    // Levels, the muted hint, device loss and the voice processing settings.
    void watchAudio(media::MeetingEngine* engine);
    void setDeviceNotice(const QString& text);

    QPointer<media::MeetingEngine> m_engine;
    MeetingRoster* m_roster;
    bool m_host;
    bool m_audioMuted;
    bool m_mutedByHost = false;
    bool m_videoOn;
    bool m_joined = false;
    bool m_over = false;

    GalleryView* m_gallery = nullptr;
    ParticipantsPanel* m_panel = nullptr;
    ChatPanel* m_chat = nullptr;
    MeetingToolbar* m_toolbar = nullptr;
    MeetingShare* m_share = nullptr;
    QLabel* m_clock = nullptr;
    QLabel* m_deviceNotice = nullptr;
    MutedHint* m_mutedHint = nullptr;
    QElapsedTimer m_since;
    QTimer m_clockTick;
    QTimer m_connectionGrace;
    ActiveSpeaker* m_speakers = nullptr;
    QElapsedTimer m_speakerClock;
    QTimer m_speakerTick;
    QToolButton* m_viewButton = nullptr;
    QToolButton* m_fullScreenButton = nullptr;
    QSpacerItem* m_headerBalance = nullptr;
};

} // namespace talvora::zhumu
