#pragma once
// A scriptable MeetingEngine for tests and screenshots: it talks to no
// server and touches no device. It joins on its own right after start()
// (unless told not to), leaves right after leave(), and does whatever else a
// test tells it through EngineDouble: participants coming, changing and
// going, frames, talking, the meeting ending, the connection dropping.
//
// GUI thread only. Link talvora_media_double in place of talvora_media.

#include "media/MeetingEngine.h"

#include <QDateTime>
#include <QImage>
#include <QStringList>
#include <QPair>
#include <QVector>

namespace talvora::media {

class EngineDouble
{
public:
    // How engines made from now on behave.
    struct Script
    {
        bool hasCamera = true;
        bool hasMicrophone = true;
        bool joinOnStart = true; // false: join(engine) when the test says
        bool reportSelf = true;  // report this participant as participantJoined/Changed too
        qint64 selfId = 1001;
    };
    static Script& script();
    // Back to the defaults; forgets the engines seen.
    static void reset();

    // The last engine made, while it lives; every engine made so far that lives.
    static MeetingEngine* latest();
    static int liveCount();

    // What the engine was made with and told.
    static Admission admission(const MeetingEngine* engine);
    static MediaOptions options(const MeetingEngine* engine);
    static bool started(const MeetingEngine* engine);
    static int leaveCalls(const MeetingEngine* engine);
    // The texts sendChat() accepted, in order. Each comes back at once as
    // chatReceived from this participant, as the room echoes it.
    static QStringList chatsSent(const MeetingEngine* engine);

    // The script. Each emits what the real engine would, at once.
    static void join(MeetingEngine* engine);
    // A remote participant with a new id unless `participant.id` is set.
    static Participant addParticipant(MeetingEngine* engine, Participant participant);
    static void changeParticipant(MeetingEngine* engine, const Participant& participant);
    static void removeParticipant(MeetingEngine* engine, qint64 id);
    static void pushFrame(MeetingEngine* engine, qint64 id, const QImage& frame);
    static void setTalking(MeetingEngine* engine, qint64 id, bool talking);
    static void setAudioLevel(MeetingEngine* engine, qint64 id, double dbfs);
    // Screen sharing: what startShare() was asked (this participant's
    // share begins at once, in the next event loop turn), and another
    // participant's share coming, showing a frame and going.
    static QVector<ShareSource> shareRequests(const MeetingEngine* engine);
    static void startRemoteShare(MeetingEngine* engine, qint64 sharerId);
    static void stopRemoteShare(MeetingEngine* engine);
    static void pushShareFrame(MeetingEngine* engine, const QImage& frame);
    static void loseMicrophone(MeetingEngine* engine);
    static void endMeeting(MeetingEngine* engine);
    static void loseConnection(MeetingEngine* engine);
    static void restoreConnection(MeetingEngine* engine);
    // The engine asks its owner for a fresh admission; readmitted() is the
    // last one it was given (empty server: none yet).
    static void askReadmission(MeetingEngine* engine);
    static Admission readmitted(const MeetingEngine* engine);
    // How often the owner said that no admission came.
    static int readmissionRefusals(const MeetingEngine* engine);
    static void fail(MeetingEngine* engine, const QString& reason);
    static void receiveChat(MeetingEngine* engine, const QString& sender, const QDateTime& time,
                            const QString& text);
    // The host's moderation reaching this participant.
    static void muteByHost(MeetingEngine* engine);
    static void kick(MeetingEngine* engine);
    // The devices the engine was told to use, in order.
    static QVector<QPair<DeviceKind, QString>> deviceChoices(const MeetingEngine* engine);
    // A device in use went away; the engine reports the fallback.
    static void loseDevice(MeetingEngine* engine, DeviceKind kind, const QString& fallback);

    // A synthetic frame: a vertical gradient of `colour` with a bright bar
    // whose place follows `phase`, so that frames differ.
    static QImage testFrame(const QSize& size, const QColor& colour, int phase = 0);
};

} // namespace talvora::media
