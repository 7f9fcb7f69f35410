#pragma once
// The meeting's media: one Janus VideoRoom session that publishes this
// participant's camera and microphone and subscribes to every other
// publisher, on GStreamer's webrtcbin. No widgets: a window (or the headless
// meeting-participant) draws what the engine reports and sends it the user's
// commands.
//
// Threads: create, call and destroy the engine on one thread that runs a Qt
// event loop (the GUI thread in the client). GStreamer's streaming threads
// never touch the object; everything they find reaches that thread through
// queued signals, so every signal below is emitted on the engine's thread.

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include "Admission.h"
#include "DeviceCatalog.h"
#include "AudioProcessing.h"

#include <memory>

namespace talvora::media {

struct MediaOptions
{
    bool sendAudio = true; // false: join muted (can unmute later)
    bool sendVideo = true; // false: join with the camera off
    int width = 640;
    int height = 360;
    int fps = 30;
    int videoKbps = 600;
    // Test media instead of devices: a moving pattern tinted with
    // testColour, and a sine of testToneHz peaking at testToneDbfs. The client turns it
    // on from TALVORA_TEST_MEDIA=1; the meeting-participant always.
    bool testMedia = false;
    QColor testColour = QColor(0x41, 0x94, 0xff);
    double testToneHz = 440.0;
    double testToneDbfs = -20.0; // the sine's peak
    bool playAudio = true; // play remote audio on the speaker, if any
    bool preview = true;   // frame() of the local camera too
    // ICE stays inside this network ("address/prefix"): gathering, the
    // candidates sent and those accepted. Empty: any, for a media server
    // that is not on this machine.
    QString iceNetwork = QStringLiteral("127.0.0.0/8");
    int jitterBufferMs = 60; // receivers' jitter buffer
    // The devices chosen (DeviceCatalog's ids); empty or gone: the default.
    QString cameraId;
    QString microphoneId;
    QString speakerId;
    // Benchmarks only: the share of packets every peer connection drops
    // in each direction, standing in for a lossy network (changed later
    // with MeetingEngine::setSimulatedLoss()), and the time each packet
    // is held back each way.
    double simulatedLoss = 0;
    int simulatedDelayMs = 0;
    AudioProcessing audioProcessing;
    // With testMedia: the microphone and speaker of the sound server all the
    // same (echo tests of the voice processing).
    bool deviceAudio = false;
    // Benchmarks only: the test tone sounds in the first 200 ms of each
    // second of the system clock (CLOCK_MONOTONIC), so that where a
    // receiver hears it start, within its second, is the delay from
    // microphone to receiver; and a microphone without the voice processor,
    // to compare with one that has it.
    bool testToneBursts = false;
    bool skipVoiceProcessing = false;
};

// The longest chat message, in characters (QString units).
constexpr int kMaxChatChars = 2000;

// One participant as the engine knows it. id is the Janus publisher (feed)
// id; the local participant has its own id once joined.
struct Participant
{
    qint64 id = 0;
    QString displayName;
    bool self = false;
    bool host = false;
    bool audioMuted = false;
    bool videoOff = false;
};

// What a receiver measured of one remote publisher (meeting-participant's
// report and the tests).
struct ReceiveStats
{
    qint64 id = 0;
    quint64 framesDecoded = 0;
    int width = 0;
    int height = 0;
    QColor meanColour;          // mean RGB of the last frame
    double audioRmsDbfs = -120; // over the last second
    double dominantHz = 0;      // over the last second
    double rttMs = -1;          // from RTCP, when known
    double jitterBufferMs = -1; // audio jitter buffer delay, when known
    // The received audio in 100 ms windows of wall time since its first
    // sound: windows with sound, windows without, the longest run of
    // windows without (ms).
    int heardWindows = 0;
    int silentWindows = 0;
    int longestGapMs = 0;
    int longGaps = 0; // gaps over 100 ms
    // When the latest sound after 300 ms of silence was received (the
    // decoded sample crossing -30 dBFS), on CLOCK_MONOTONIC in ns; -1: none.
    qint64 audioOnsetNs = -1;
    // The candidate types of the pair ICE selected for this stream ("host",
    // "srflx", "prflx", "relay"; "relay" is a path through TURN), local and
    // remote; empty until known.
    QString localCandidateType;
    QString remoteCandidateType;
};

// What a screen share captures: one X11 window, or an area of the root
// window (a screen), or the whole root when both are unset.
struct ShareSource
{
    QRect area;         // in root coordinates
    quint64 window = 0; // an X window id
    int fps = 10;       // 5 to 15
};

class MeetingEngine : public QObject
{
    Q_OBJECT

public:
    MeetingEngine(const Admission& admission, const MediaOptions& options, QObject* parent = nullptr);
    // Loads GStreamer and makes the process's DTLS certificate (an RSA key,
    // up to a second on a busy machine) on a worker thread, so that a
    // meeting started later does not wait for them. Optional, idempotent,
    // any thread; the constructor calls it too.
    static void prepare();
    ~MeetingEngine() override; // hangs up without waiting for the server

    // Connects, joins the room, publishes and subscribes. Progress and
    // failure arrive as signals.
    void start();
    // Leaves the room politely (the others see the participant go), then
    // emits left().
    void leave();

    void setAudioMuted(bool muted);
    void setVideoEnabled(bool enabled);
    bool audioMuted() const;
    bool videoEnabled() const;

    // Devices found when the engine was made; without them the participant
    // joins listening only, or with the initials disc.
    bool hasCamera() const;
    bool hasMicrophone() const;

    QVector<Participant> participants() const;
    QVector<ReceiveStats> receiveStats() const;
    // What this participant's video is sent at now: width, height, fps and
    // kbit/s, as the network allows (0s before it publishes video).
    QVector<int> sentVideo() const;
    // The candidate types of the pair that this participant's own media
    // leaves on, local and remote (as in ReceiveStats); empty until known.
    QStringList sendingCandidateTypes() const;

    // A fresh admission to the same meeting, the answer to
    // readmissionNeeded(): the next attempt uses its server, room and
    // credentials. Ignored when none was asked for.
    void readmit(const Admission& admission);
    // The answer when the service could not admit again (no answer, no
    // media server for the meeting yet): the attempt has failed, and the
    // next follows the back-off rather than the attempt's whole time.
    void readmissionRefused();
    // Benchmarks only, for engines made with MediaOptions::simulatedLoss
    // or simulatedDelayMs.
    static void setSimulatedLoss(double share);

    // Screen sharing: the source published as a second feed of this
    // participant, marked as its share, which the others show large. The
    // engine does not refuse a second share in the room; the window does,
    // from sharerId().
    void startShare(const ShareSource& source);
    void stopShare();
    bool isSharing() const;
    // Whose share the room shows (another participant's id), 0 for none.
    qint64 sharerId() const;
    // What was received of that share; id is the sharer's.
    ReceiveStats shareStats() const;
    // The microphone's voice processing, changed during the meeting too.
    void setAudioProcessing(const AudioProcessing& processing);
    AudioProcessing audioProcessing() const;
    // With test media: the tone's peak from now on, in dBFS (a louder or
    // quieter voice, for tests of who is speaking).
    void setTestToneLevel(double dbfs);
    // A chat message to everyone, plain text of at most 2,000 characters;
    // sent once the chat is up. False, with nothing sent, for an empty or
    // too long text or when the meeting has no chat.
    bool sendChat(const QString& text);
    // Uses another camera, microphone or speaker (a DeviceCatalog id;
    // empty: the default) from now on, without rejoining. A camera or
    // microphone can replace one the meeting started with, not add a kind
    // it started without.
    void setDevice(talvora::media::DeviceKind kind, const QString& id);

signals:
    void joined(qint64 selfId);
    void participantJoined(const talvora::media::Participant& participant);
    void participantChanged(const talvora::media::Participant& participant); // mute, video, name
    void participantLeft(qint64 id);
    // The latest decoded frame of a participant (self: the local preview).
    void frame(qint64 id, const QImage& image);
    void talking(qint64 id, bool talking);
    // A device in use went away or failed; the meeting goes on with
    // `fallback` (the device's shown name), or without that kind when empty.
    void deviceLost(talvora::media::DeviceKind kind, const QString& fallback);
    // Ten times a second for each participant: the RMS of the decoded audio
    // over the last 200 ms, or for this participant of the processed
    // microphone, muted or not (nothing is sent while muted), in dBFS.
    void audioLevel(qint64 id, double dbfs);
    // No microphone is left (deviceLost() says so too): the meeting goes on
    // muted. When one is back it is used again (still muted until unmuted).
    void microphoneLost();
    void microphoneRestored();
    // No speaker is left (deviceLost() says so too): the meeting goes on
    // unheard until one is back.
    void speakerLost();
    void speakerRestored();
    // The room was destroyed by the host or the service.
    void meetingEnded();
    // The server or the network went away; the engine keeps trying for a
    // while (see the window), reported once per loss.
    // While it is lost the engine tries, backing off 1, 2, 4 … 10 s: first
    // the same Janus session on a new socket (and new peer connections
    // where theirs died), then a new session with a fresh admission (at
    // once when the server's address refuses the socket).
    void connectionLost();
    void connectionRestored();
    // The engine wants a fresh admission from the service (readmit()).
    // Unconnected, the engine tries again with the one it has.
    void readmissionNeeded();
    void left();
    void failed(const QString& reason);
    // Another participant's share came or went, and its latest picture.
    void shareStarted(qint64 sharerId);
    void shareStopped(qint64 sharerId);
    void shareFrame(qint64 sharerId, const QImage& image);
    // This participant's own share: sending (the server took it) or not
    // (stopped, or failed with a reason for the log).
    void localShareChanged(bool sharing);
    void shareFailed(const QString& reason);

    // A chat message, this participant's own included as the room echoes
    // it; a late joiner first receives the room's recent history.
    void chatReceived(const QString& sender, const QDateTime& time, const QString& text);
    // The host muted this participant's microphone through the room's
    // moderation; the engine has muted it here too. Unmuting is the user's.
    void mutedByHost();
    // The host removed this participant: the engine has left the room.
    void kicked();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace talvora::media

Q_DECLARE_METATYPE(talvora::media::Participant)
