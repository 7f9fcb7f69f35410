#include <gst/gst.h>

#include "MeetingEngine.h"

#include "IceRestart.h"
#include "JanusSession.h"
#include "MediaDevices.h"
#include "NetworkWatch.h"
#include "MeetingChat.h"
#include "PublisherPipeline.h"
#include "ScreenShare.h"
#include "SimulatedLink.h"
#include "SpeakerOutput.h"
#include "SubscriberPipeline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMetaMethod>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <future>
#include <memory>
#include <mutex>
#include <utility>

namespace talvora::media {
namespace {

const QString kVideoRoom = QStringLiteral("janus.plugin.videoroom");

// An attempt to get a lost meeting back that has not succeeded by then has
// failed (a socket, a claim, or an admission and a join).
constexpr int kAttemptMs = 6000;
// Seconds without a packet from anyone who should be sending: lost.
constexpr int kSilentSeconds = 3;
// Seconds without a packet from one participant, while others are heard,
// before its subscription is made anew.
constexpr int kStuckSeconds = 5;
// A subscription the server refused is asked for again after this long.
constexpr int kResubscribeMs = 1000;
// An ICE restart (media lost, signalling alive): the server answers within
// the first delay, or the socket is as dead as the media and a new one is
// tried at once; media flows within the second, or the next restart
// follows at once. After this many in a row, new peer connections.
constexpr int kIceAnswerMs = 1500;
constexpr int kIceRestartMs = 2500;
constexpr int kIceRestarts = 4;
// How long a new publisher waits for the old peer connection's close.
constexpr int kCloseWaitMs = 1500;

// How the others learn that a microphone is muted or a camera off: the
// descriptions of the published streams, a documented field of VideoRoom's
// configure request. When they change, Janus announces the publisher again
// in a "publishers" event, as it does when a display name changes; a client
// that knows nothing of these texts (a browser with janus.js) sees a label
// it may show or ignore. No renegotiation, no data channel, nothing that
// only this engine understands on the wire.
const QString kAudioOn = QStringLiteral("microphone");
const QString kAudioMuted = QStringLiteral("microphone muted");
const QString kVideoOn = QStringLiteral("camera");
const QString kVideoOff = QStringLiteral("camera off");

QString midOf(const QString& sdp, const QString& kind)
{
    QString current;
    for (const QString& line : sdp.split(QStringLiteral("\r\n"))) {
        if (line.startsWith(QLatin1String("m=")))
            current = line.mid(2).section(QLatin1Char(' '), 0, 0);
        else if (current == kind && line.startsWith(QLatin1String("a=mid:")))
            return line.mid(6);
    }
    return {};
}

struct Remote
{
    Participant participant;
    qint64 handle = 0;
    SubscriberPipeline* pipeline = nullptr;
    bool subscribing = false;
    bool restartAsked = false; // its ICE restart offer not yet answered
};

} // namespace

class MeetingEngine::Private : public QObject
{
public:
    Private(MeetingEngine* q, const Admission& admission, const MediaOptions& options)
        : q(q), admission(admission), options(options),
          devices(!options.testMedia, !options.testMedia || options.deviceAudio, options.playAudio, options.cameraId,
                  options.microphoneId, options.speakerId),
          network(options.iceNetwork)
    {
        audioMuted = !options.sendAudio;
        videoEnabled = options.sendVideo;
        ice.servers = admission.iceServers;
        ice.network = options.iceNetwork;
        shares = new ScreenShare(q, admission, ice, options.jitterBufferMs, this);
        if (options.simulatedLoss > 0 || options.simulatedDelayMs > 0) {
            ice.simulateLink = true;
            SimulatedLink::setLoss(qBound(0.0, options.simulatedLoss, 1.0));
            SimulatedLink::setDelay(qMax(0, options.simulatedDelayMs));
        }
        attemptTimer.setSingleShot(true);
        connect(&attemptTimer, &QTimer::timeout, this, [this] { attempt(); });
        attemptDeadline.setSingleShot(true);
        attemptDeadline.setInterval(kAttemptMs);
        connect(&attemptDeadline, &QTimer::timeout, this, [this] { attemptFailed(); });
        connect(&network, &NetworkWatch::addressLost, this, [this] {
            if (selfId != 0)
                lose("a local address went away", true);
        });
        connect(&network, &NetworkWatch::addressAdded, this, [this] {
            // A network (back) to try: no waiting for the back-off.
            if (recovering && !attemptDeadline.isActive()) {
                attemptTimer.stop();
                attempt();
            }
        });
        iceCheck.setInterval(200);
        connect(&iceCheck, &QTimer::timeout, this, [this] {
            if (iceRestarting)
                checkIceRestart();
            else
                iceCheck.stop();
        });
        levelTimer.setInterval(100);
        connect(&levelTimer, &QTimer::timeout, this, [this] { reportLevels(); });
        statsTimer.setInterval(1000);
        connect(&statsTimer, &QTimer::timeout, this, [this] {
            if (publisher)
                publisher->refreshStats();
            shares->refreshStats();
            for (const Remote& remote : qAsConst(remotes)) {
                if (remote.pipeline)
                    remote.pipeline->refreshStats();
            }
            watchMedia();
        });
    }

    ~Private() override { tearDown(); }

    // May run inside a signal of the objects it removes: they stop at
    // once and are freed once control is back in the event loop.
    void tearDown()
    {
        statsTimer.stop();
        iceCheck.stop();
        levelTimer.stop();
        shares->tearDown();
        attemptTimer.stop();
        attemptDeadline.stop();
        if (chat) {
            chat->disconnect(this);
            chat->stop();
            chat->deleteLater();
            chat = nullptr;
        }
        for (Remote& remote : remotes)
            dispose(remote.pipeline);
        remotes.clear();
        dispose(publisher);
        publisher = nullptr;
        delete speaker; // after the subscribers: they feed it
        speaker = nullptr;
        if (session) {
            session->disconnect(this);
            session->abort();
            session->deleteLater();
            session = nullptr;
        }
    }

    void dispose(WebRtcPeer* peer)
    {
        if (!peer)
            return;
        peer->disconnect(this);
        peer->disconnect(q);
        peer->stop();
        peer->deleteLater();
    }

    bool hasCamera() const { return options.testMedia || devices.hasCamera(); }
    bool hasMicrophone() const
    {
        return (options.testMedia && !options.deviceAudio) || devices.hasMicrophone() || microphoneGone;
    }
    bool usesDevices() const { return !options.testMedia || options.deviceAudio; }
    void reportLevels();
    void startSpeaker();
    void onMicrophoneLost();

    void start();
    void openSession();
    void joinRoom(bool withId);
    void onJoined(const QJsonObject& data);
    void publish();
    void onPublisherEvent(const QJsonObject& data);
    void onModeration(const QJsonObject& data);
    void startChat();
    void addPublishers(const QJsonArray& publishers);
    void addListener(const QJsonObject& entry);
    void subscribe(qint64 feed);
    void removeRemote(qint64 id);
    void dropSubscription(Remote& remote);
    void resubscribe(qint64 id);
    // Reconnection: a loss (once), attempts with back-off, and the way back.
    void lose(const char* why, bool deadMedia);
    void attempt();
    void attemptFailed();
    void rejoin();
    void rebuildPeers();
    // In place, on the running peer connections and the same session.
    bool restartIce();
    void checkIceRestart();
    void endIceRestart();
    void restored();
    void watchMedia();
    bool wantsAdmission() const
    {
        return q->isSignalConnected(QMetaMethod::fromSignal(&MeetingEngine::readmissionNeeded));
    }
    void sendState();
    void resync();
    QJsonArray descriptions() const;
    void fail(const QString& reason);
    void endMeeting();
    Participant self() const;
    void useDevice(DeviceKind kind, const QString& id);
    void watchDevices();
    void fallBack(DeviceKind kind, const QString& lostId);

    MeetingEngine* q;
    Admission admission;
    MediaOptions options;
    MediaDevices devices;
    IcePolicy ice;
    JanusSession* session = nullptr;
    PublisherPipeline* publisher = nullptr;
    qint64 publisherHandle = 0;
    qint64 selfId = 0;
    qint64 privateId = 0;
    QString audioMid, videoMid;
    QHash<qint64, Remote> remotes;
    ScreenShare* shares = nullptr;
    QTimer statsTimer;
    QTimer levelTimer;
    SpeakerOutput* speaker = nullptr; // the mix of every remote, and the echo probe
    bool microphoneGone = false; // silence sent in its place until one is back
    bool speakerGone = false;
    MeetingChat* chat = nullptr;
    QStringList chatsBeforeJoin;       // sent once the chat exists
    bool chatUnavailable = false;      // no TextRoom, or no chat in the room
    QHash<qint64, QString> audioMidOf; // publisher id -> its audio stream's mid
    std::unique_ptr<DeviceCatalog> catalog; // made when the meeting has joined
    bool audioMuted = false;
    bool videoEnabled = true;
    bool published = false;
    bool leaving = false;
    bool ended = false; // failed, ended or left: no more signals but left()

    NetworkWatch network;
    ReconnectBackoff backoff;
    QTimer attemptTimer;
    QTimer attemptDeadline;
    bool recovering = false;
    bool rebuildAfterReclaim = false; // the peer connections died too
    bool iceRestarting = false;
    IceRestartRound iceRound;
    QTimer iceCheck; // whether media flows again, often: the way back is timed
    QElapsedTimer iceClock;
    int iceRestarts = 0;            // since the meeting was last restored
    bool publisherRestarting = false; // its restart offer not yet answered
    QStringList addressesInUse; // the local addresses the peer connections gathered on
    bool awaitingAdmission = false;
    bool admissionFresh = false;
    // The room that Janus said was destroyed while the service is asked
    // whether the meeting goes on (0 when nothing is asked).
    qint64 goneRoom = 0;
    bool askedEarly = false; // the service asked on a refused first reclaim
    bool rejoining = false;    // a join on a new session, same meeting
    bool republishing = false; // the publisher's hang-up is our own
    // Janus closes an unpublished peer connection after it answers the
    // unpublish; a new one offered before that close is closed with it.
    bool oldPublisherHangupDue = false;
    bool unpublishAnswered = false;
    int republishCount = 0;
    bool resyncPending = false;
    QElapsedTimer sinceRestored;
    QHash<qint64, quint64> heardPackets;
    QHash<qint64, int> quietTicks; // per remote: seconds without a packet while it should send
    int silentTicks = 0;
};

Participant MeetingEngine::Private::self() const
{
    Participant participant;
    participant.id = selfId;
    participant.displayName = admission.displayName;
    participant.self = true;
    participant.host = admission.host;
    // A device that is there but whose branch could not be built sends
    // nothing either.
    participant.audioMuted =
        audioMuted || !hasMicrophone() || microphoneGone || (publisher && !publisher->sendsAudio());
    participant.videoOff = !videoEnabled || !hasCamera() || (publisher && !publisher->sendsVideo());
    return participant;
}

void MeetingEngine::Private::endMeeting()
{
    if (ended)
        return;
    ended = true;
    recovering = false;
    attemptTimer.stop();
    tearDown();
    emit q->meetingEnded();
}

void MeetingEngine::Private::fail(const QString& reason)
{
    if (ended)
        return;
    ended = true;
    tearDown();
    emit q->failed(reason);
}

void MeetingEngine::Private::reportLevels()
{
    if (publisher && publisher->sendsAudio())
        emit q->audioLevel(selfId, publisher->takeMicrophoneLevel());
    for (const Remote& remote : qAsConst(remotes)) {
        if (remote.pipeline)
            emit q->audioLevel(remote.participant.id, remote.pipeline->audioLevelDbfs(200));
    }
}

void MeetingEngine::Private::onMicrophoneLost()
{
    if (microphoneGone)
        return;
    // Silence goes on in its place, the stream and its negotiation stay;
    // a microphone that comes back is used again (still muted).
    microphoneGone = true;
    if (publisher)
        publisher->dropMicrophone();
    devices.drop(DeviceKind::Microphone);
    if (!audioMuted) {
        q->setAudioMuted(true);
    } else {
        emit q->participantChanged(self());
    }
    emit q->microphoneLost();
    emit q->deviceLost(DeviceKind::Microphone, QString());
}

void MeetingEngine::Private::start()
{
    // Made first: the microphone's echo canceller looks its probe up when
    // it starts. It outlives the sessions of a reconnection.
    speaker = new SpeakerOutput(options.playAudio ? devices.createSpeaker() : nullptr);
    connect(speaker, &SpeakerOutput::speakerLost, this, [this] {
        if (!ended)
            fallBack(DeviceKind::Speaker, devices.currentId(DeviceKind::Speaker));
    });
    connect(speaker, &SpeakerOutput::failed, this,
            [](const QString& reason) { qWarning("%s", qPrintable(reason)); });
    network.start();
    openSession();
}

void MeetingEngine::Private::openSession()
{
    session = new JanusSession(admission.server, admission.token, this);
    session->setRetrying(false); // the attempts below, with their back-off
    connect(session, &JanusSession::failed, this, [this](const QString& reason) {
        if (leaving) { // the server is gone anyway: leaving is done
            ended = true;
            tearDown();
            emit q->left();
            return;
        }
        if (recovering) {
            qInfo("meeting: reconnection attempt failed: %s", qPrintable(reason));
            attemptFailed();
            return;
        }
        fail(reason);
    });
    connect(session, &JanusSession::connectionLost, this, [this] { lose("signalling lost", false); });
    connect(session, &JanusSession::unreachable, this, [this] {
        if (!recovering)
            return;
        // The first reclaim refused: the server's process is gone with the
        // session, and only the service can say where the meeting is now
        // (another server, after a failover). It is asked at once, within
        // this attempt, rather than after the next back-off; once per loss.
        if (session->refused() && backoff.attempts() == 1 && !attemptTimer.isActive() && !askedEarly &&
            !admissionFresh && wantsAdmission()) {
            askedEarly = true;
            awaitingAdmission = true;
            emit q->readmissionNeeded();
            return;
        }
        attemptFailed();
    });
    connect(session, &JanusSession::sessionGone, this, [this] {
        if (ended || leaving)
            return;
        if (recovering)
            rejoin();
        else
            lose("the media server forgot the session", true);
    });
    connect(session, &JanusSession::connectionRestored, this, [this] {
        if (ended || leaving)
            return;
        sendState(); // a mute while the socket was gone never reached Janus
        resync();
        if (rebuildAfterReclaim)
            rebuildPeers();
        restored();
    });
    connect(session, &JanusSession::closed, this, [this] {
        if (leaving && !ended) {
            ended = true;
            tearDown();
            emit q->left();
        }
    });
    connect(session, &JanusSession::pluginEvent, this,
            [this](qint64 handle, const QJsonObject& data, const QJsonObject& jsep) {
                Q_UNUSED(jsep);
                if (handle == publisherHandle)
                    onPublisherEvent(data);
            });
    connect(session, &JanusSession::hangup, this, [this](qint64 handle, const QString& reason) {
        shares->onHangup(handle, reason);
        if (handle == publisherHandle && oldPublisherHangupDue && !publisher) {
            oldPublisherHangupDue = false;
            if (unpublishAnswered && !ended && !leaving)
                publish();
            return;
        }
        // The server gave up on the publisher's peer connection (its ICE or
        // DTLS died): a new one, as after any loss of media. No ICE restart:
        // the server has nothing left to restart.
        if (handle == publisherHandle && !leaving && !ended && published && !republishing) {
            qInfo("meeting: media server hung up the publisher: %s", qPrintable(reason));
            iceRestarts = kIceRestarts;
            lose("the media server hung up", true);
        }
    });
    connect(session, &JanusSession::remoteCandidate, this,
            [this](qint64 handle, const QJsonObject& candidate) {
                if (handle == publisherHandle && publisher) {
                    publisher->addRemoteCandidate(candidate);
                    return;
                }
                if (shares->ownsHandle(handle)) {
                    shares->addRemoteCandidate(handle, candidate);
                    return;
                }
                for (const Remote& remote : qAsConst(remotes)) {
                    if (remote.handle == handle && remote.pipeline)
                        remote.pipeline->addRemoteCandidate(candidate);
                }
            });
    connect(session, &JanusSession::opened, this, [this] {
        session->attach(kVideoRoom, [this](qint64 handle) {
            publisherHandle = handle;
            // Back in the meeting (or in its new room) as the same
            // participant: the others keep this tile.
            joinRoom(selfId != 0 || admission.participantId != 0);
        });
    });
    session->open();
}

void MeetingEngine::Private::joinRoom(bool withId)
{
    QJsonObject join{{QStringLiteral("request"), QStringLiteral("join")},
                     {QStringLiteral("ptype"), QStringLiteral("publisher")},
                     {QStringLiteral("room"), admission.room},
                     {QStringLiteral("pin"), admission.pin},
                     {QStringLiteral("display"), admission.displayName}};
    if (withId)
        join.insert(QStringLiteral("id"), selfId != 0 ? selfId : admission.participantId);
    session->message(publisherHandle, join, {},
                     [this, withId](bool ok, const QJsonObject& data, const QJsonObject&, const QString& error) {
                         if (ok) {
                             onJoined(data);
                         } else if (withId && data.value(QLatin1String("error_code")).toInt() == 436) {
                             // The old id is still taken (the old session
                             // lingers): in under a new one.
                             joinRoom(false);
                         } else if (recovering) {
                             qInfo("meeting: rejoin refused: %s", qPrintable(error));
                             attemptFailed();
                         } else {
                             fail(error);
                         }
                     });
}

void MeetingEngine::Private::onJoined(const QJsonObject& data)
{
    const qint64 before = selfId;
    selfId = data.value(QLatin1String("id")).toVariant().toLongLong();
    privateId = data.value(QLatin1String("private_id")).toVariant().toLongLong();
    addressesInUse = network.addresses();
    statsTimer.start();
    levelTimer.start();
    watchDevices();
    shares->setSession(session, selfId, privateId);
    if (rejoining) {
        rejoining = false;
        if (selfId != before)
            emit q->joined(selfId);
        restored();
        // Whoever has not come back to the room by then has left it.
        QTimer::singleShot(15000, this, [this] {
            if (session && !recovering && !ended && !leaving)
                resync();
        });
    } else {
        emit q->joined(selfId);
    }
    // Subscriptions first: their attach requests are on the wire while the
    // publisher's pipeline is built.
    addPublishers(data.value(QLatin1String("publishers")).toArray());
    publish();
    // Rooms that announce joins list those who only listen as attendees.
    for (const QJsonValue& attendee : data.value(QLatin1String("attendees")).toArray())
        addListener(attendee.toObject());
}

void MeetingEngine::Private::startSpeaker()
{
    if (speaker && !speaker->start()) {
        qWarning("the speaker's pipeline does not play: nothing is heard");
        delete speaker;
        speaker = nullptr;
    }
}

void MeetingEngine::Private::publish()
{
    if (!hasCamera() && !hasMicrophone()) {
        startSpeaker();
        startChat();
        return; // listening only: nothing to publish
    }
    publisher = new PublisherPipeline(options, devices, ice, this);
    publisher->setAudioProcessing(options.audioProcessing, speaker ? speaker->probeName() : QString());
    connect(publisher, &PublisherPipeline::microphoneLost, this, [this] {
        if (!microphoneGone)
            fallBack(DeviceKind::Microphone, devices.currentId(DeviceKind::Microphone));
    });
    connect(publisher, &WebRtcPeer::failed, this, [this](const QString& reason) { fail(reason); });
    connect(publisher, &PublisherPipeline::sourceFailed, this, [this](bool video) {
        const DeviceKind kind = video ? DeviceKind::Camera : DeviceKind::Microphone;
        fallBack(kind, devices.currentId(kind));
    });
    connect(publisher, &WebRtcPeer::iceFailed, this, [this] { lose("the publisher's ICE failed", true); });
    connect(publisher, &PublisherPipeline::preview, q,
            [this](const QImage& image) { emit q->frame(selfId, image); });
    connect(publisher, &WebRtcPeer::localCandidate, this,
            [this](const QJsonObject& candidate) { session->trickle(publisherHandle, candidate); });
    connect(publisher, &WebRtcPeer::localDescription, this, [this](const QString& type, const QString& sdp) {
        audioMid = midOf(sdp, QStringLiteral("audio"));
        videoMid = midOf(sdp, QStringLiteral("video"));
        // Published already: the new offer of an ICE restart.
        const bool restart = published;
        const QJsonObject body{{QStringLiteral("request"), restart ? QStringLiteral("configure")
                                                                  : QStringLiteral("publish")},
                               {QStringLiteral("descriptions"), descriptions()}};
        QPointer<PublisherPipeline> guard(publisher);
        session->message(
            publisherHandle, body, QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}},
            [this, restart, guard](bool ok, const QJsonObject&, const QJsonObject& jsep, const QString& error) {
                if (restart) {
                    if (!guard || guard != publisher)
                        return; // a peer connection made anew since
                    publisherRestarting = false;
                    if (!ok) {
                        // New peer connections next.
                        qInfo("meeting: ICE restart refused: %s", qPrintable(error));
                        iceRestarts = kIceRestarts;
                        return;
                    }
                    iceRound.answered();
                }
                if (!ok) {
                    fail(error);
                    return;
                }
                if (publisher && jsep.value(QLatin1String("type")).toString() == QLatin1String("answer"))
                    publisher->setAnswer(jsep.value(QLatin1String("sdp")).toString());
                // The chat's own negotiation waits for the media's: on a
                // busy machine the pictures come first.
                if (!published && !chat)
                    startChat();
                published = true;
                republishing = false;
            });
    });
    // Made anew while the speaker plays (a rejoin): on the speaker's clock
    // and base time, which its running mix cannot leave.
    const bool speakerPlaying = speaker && speaker->isPlaying();
    if (speakerPlaying)
        publisher->followClockOf(*speaker);
    if (!publisher->start() || !speaker || speakerPlaying) {
        if (!speakerPlaying)
            startSpeaker();
        return;
    }
    // The speaker starts once the microphone plays, on its clock and base
    // time: the echo canceller finds what was played at the time it was
    // heard. A pipeline that does not get there within 2 s is heard anyway.
    auto* wait = new QTimer(this);
    auto waited = std::make_shared<int>(0);
    connect(wait, &QTimer::timeout, this, [this, wait, waited] {
        const bool playing = publisher && publisher->isPlaying();
        if (!playing && ++*waited < 200)
            return;
        wait->stop();
        wait->deleteLater();
        if (playing && speaker && !speaker->isPlaying())
            publisher->shareClockWith(*speaker);
        startSpeaker();
    });
    wait->start(10);
}

void MeetingEngine::Private::onPublisherEvent(const QJsonObject& data)
{
    const QString kind = data.value(QLatin1String("videoroom")).toString();
    if (kind == QLatin1String("destroyed")) {
        if (ended || goneRoom != 0)
            return;
        // A room that the service moved to another server while its own hung
        // is destroyed there once that server answers again: only the
        // service can tell a move from the host's end. A moved room keeps
        // its id; an ended meeting's admission opens a new one. Only a room
        // lost while the connection was, or just after it came back, can
        // have moved: asked otherwise, the service would open a fresh room
        // for a meeting its host has just ended.
        const bool justLost = recovering || (sinceRestored.isValid() && sinceRestored.elapsed() < 30000);
        if (justLost && wantsAdmission() && !leaving) {
            goneRoom = admission.room;
            lose("the media server destroyed the room", true);
            attemptTimer.stop();
            attemptDeadline.stop();
            if (!awaitingAdmission) {
                awaitingAdmission = true;
                emit q->readmissionNeeded();
            }
            return;
        }
        ended = true;
        tearDown();
        emit q->meetingEnded();
        return;
    }
    if (kind == QLatin1String("talking") || kind == QLatin1String("stopped-talking")) {
        const qint64 id = data.value(QLatin1String("id")).toVariant().toLongLong();
        // A muted publisher sends nothing, so Janus never says it stopped.
        const bool talking = kind == QLatin1String("talking");
        if (id == selfId && audioMuted && talking)
            return;
        emit q->talking(id, talking);
        return;
    }
    if (kind != QLatin1String("event"))
        return;
    if (data.value(QLatin1String("leaving")).toString() == QLatin1String("ok") &&
        data.value(QLatin1String("reason")).toString() == QLatin1String("kicked")) {
        if (ended)
            return;
        ended = true;
        tearDown();
        emit q->kicked();
        return;
    }
    if (data.contains(QLatin1String("moderation")))
        onModeration(data);
    if (data.value(QLatin1String("kicked")).isDouble())
        removeRemote(data.value(QLatin1String("kicked")).toVariant().toLongLong());
    if (data.contains(QLatin1String("publishers")))
        addPublishers(data.value(QLatin1String("publishers")).toArray());
    if (data.value(QLatin1String("joining")).isObject())
        addListener(data.value(QLatin1String("joining")).toObject());
    // Unpublished: still in the room (a new peer connection follows after
    // a reconnection); the tile stays. Leaving: gone.
    const QJsonValue unpublished = data.value(QLatin1String("unpublished"));
    if (unpublished.isDouble() && !shares->remove(unpublished.toVariant().toLongLong())) {
        auto remote = remotes.find(unpublished.toVariant().toLongLong());
        if (remote != remotes.end())
            dropSubscription(*remote);
        // Janus says "leaving" only in rooms that announce joins: whether
        // the participant is still there, the room's list tells.
        if (!resyncPending) {
            resyncPending = true;
            QTimer::singleShot(500, this, [this] {
                resyncPending = false;
                if (session && !recovering && !ended && !leaving)
                    resync();
            });
        }
    }
    const QJsonValue leavingId = data.value(QLatin1String("leaving"));
    if (leavingId.isDouble() && !shares->remove(leavingId.toVariant().toLongLong()))
        removeRemote(leavingId.toVariant().toLongLong());
}

void MeetingEngine::Private::startChat()
{
    chat = new MeetingChat(session, admission, ice, this);
    connect(chat, &MeetingChat::received, q, [this](const ChatMessage& message) {
        emit q->chatReceived(message.sender, message.time, message.text);
    });
    // VideoRoom tells everyone but the moderated publisher of a moderation,
    // so the service also announces it in the chat room, as
    // {"moderation": "muted", "id": N}.
    connect(chat, &MeetingChat::announcement, this, [this](const QString& text) {
        const QJsonObject note = QJsonDocument::fromJson(text.toUtf8()).object();
        if (note.value(QLatin1String("moderation")).isString())
            onModeration(note);
    });
    // A Janus without TextRoom, or a room without chat: the meeting goes on.
    connect(chat, &MeetingChat::unavailable, this, [this] {
        chat = nullptr;
        chatUnavailable = true;
    });
    chat->start();
    for (const QString& text : std::exchange(chatsBeforeJoin, {}))
        chat->send(text);
}

void MeetingEngine::Private::onModeration(const QJsonObject& data)
{
    // VideoRoom's moderation: {"id", "mid", "moderation": "muted"|"unmuted"},
    // to everyone in the room. Only an audio stream's mute matters here.
    const qint64 id = data.value(QLatin1String("id")).toVariant().toLongLong();
    const QString mid = data.value(QLatin1String("mid")).toString();
    const bool muted = data.value(QLatin1String("moderation")).toString() == QLatin1String("muted");
    if (id == selfId) {
        if (!mid.isEmpty() && mid != audioMid)
            return;
        // Already muted by their own hand, they must still lift the host's
        // mute as they unmute, or Janus goes on dropping what they say.
        if (muted) {
            q->setAudioMuted(true);
            emit q->mutedByHost();
        }
        return;
    }
    auto remote = remotes.find(id);
    if (remote == remotes.end() || remote->participant.audioMuted == muted ||
        (!mid.isEmpty() && mid != audioMidOf.value(id)))
        return;
    // A host's mute is lifted only by its publisher as they unmute
    // themself (the service's unmute route): the lift says they are heard
    // again, whenever the news of their own new state comes, if it does.
    remote->participant.audioMuted = muted;
    emit q->participantChanged(remote->participant);
    if (muted)
        emit q->talking(id, false);
}

void MeetingEngine::Private::addPublishers(const QJsonArray& publishers)
{
    for (const QJsonValue& value : publishers) {
        const QJsonObject entry = value.toObject();
        const qint64 id = entry.value(QLatin1String("id")).toVariant().toLongLong();
        if (id == 0 || id == selfId || entry.value(QLatin1String("dummy")).toBool())
            continue;
        if (shares->claim(entry)) {
            // Rooms that announce joins listed the share's handle as a
            // listener a moment ago.
            if (remotes.contains(id))
                removeRemote(id);
            continue;
        }
        Participant participant;
        participant.id = id;
        participant.displayName = entry.value(QLatin1String("display")).toString();
        bool hasAudio = false, hasVideo = false;
        for (const QJsonValue& streamValue : entry.value(QLatin1String("streams")).toArray()) {
            const QJsonObject stream = streamValue.toObject();
            if (stream.value(QLatin1String("disabled")).toBool())
                continue;
            const QString type = stream.value(QLatin1String("type")).toString();
            const QString description = stream.value(QLatin1String("description")).toString();
            if (type == QLatin1String("audio")) {
                hasAudio = true;
                audioMidOf.insert(id, stream.value(QLatin1String("mid")).toString());
                participant.audioMuted = description == kAudioMuted;
            } else if (type == QLatin1String("video")) {
                hasVideo = true;
                participant.videoOff = description == kVideoOff;
            }
        }
        // Without a stream list (the room's list of participants) the
        // streams are unknown, not absent.
        if (entry.contains(QLatin1String("streams"))) {
            participant.audioMuted = participant.audioMuted || !hasAudio;
            participant.videoOff = participant.videoOff || !hasVideo;
        }
        auto existing = remotes.find(id);
        if (existing != remotes.end()) {
            Participant& known = existing->participant;
            if (known.displayName != participant.displayName || known.audioMuted != participant.audioMuted ||
                known.videoOff != participant.videoOff) {
                const bool nowMuted = participant.audioMuted && !known.audioMuted;
                known = participant;
                emit q->participantChanged(known);
                // A muted publisher sends nothing, so Janus never says it
                // stopped talking.
                if (nowMuted)
                    emit q->talking(id, false);
            }
            if (existing->handle == 0 && !existing->subscribing) {
                existing->subscribing = true; // a listener who now publishes
                subscribe(id);
            }
            continue;
        }
        remotes.insert(id, Remote{participant, 0, nullptr, true});
        emit q->participantJoined(participant);
        subscribe(id);
    }
}

void MeetingEngine::Private::addListener(const QJsonObject& entry)
{
    // Someone in the room who publishes nothing (no camera, no microphone):
    // listed, muted and without video, until a publishers event says more.
    const qint64 id = entry.value(QLatin1String("id")).toVariant().toLongLong();
    if (id == 0 || id == selfId || remotes.contains(id))
        return;
    const qint64 owner = shareFeedOf(id);
    if (owner == selfId || remotes.contains(owner))
        return; // someone's share, about to publish
    Participant participant;
    participant.id = id;
    participant.displayName = entry.value(QLatin1String("display")).toString();
    participant.audioMuted = true;
    participant.videoOff = true;
    remotes.insert(id, Remote{participant, 0, nullptr, false});
    emit q->participantJoined(participant);
}

void MeetingEngine::Private::subscribe(qint64 feed)
{
    session->attach(kVideoRoom, [this, feed](qint64 handle) {
        auto remote = remotes.find(feed);
        if (remote == remotes.end() || ended) {
            session->detach(handle); // left while we attached
            return;
        }
        remote->handle = handle;
        auto* pipeline = new SubscriberPipeline(feed, ice, options.jitterBufferMs, &devices, this);
        if (speaker)
            pipeline->setSpeakerInput(speaker->addInput());
        remote->pipeline = pipeline;
        connect(pipeline, &WebRtcPeer::failed, this, [this, feed](const QString& reason) {
            // One remote's trouble is not the meeting's: that tile stays dark.
            qWarning("subscriber %lld: %s", feed, qPrintable(reason));
        });
        connect(pipeline, &WebRtcPeer::iceFailed, this, [this, feed] {
            if (!recovering)
                resubscribe(feed);
        });
        connect(pipeline, &SubscriberPipeline::frame, q,
                [this, feed](const QImage& image) { emit q->frame(feed, image); });
        connect(pipeline, &WebRtcPeer::localCandidate, this,
                [this, handle](const QJsonObject& candidate) { session->trickle(handle, candidate); });
        connect(pipeline, &WebRtcPeer::localDescription, this,
                [this, handle](const QString& type, const QString& sdp) {
                    session->message(
                        handle, QJsonObject{{QStringLiteral("request"), QStringLiteral("start")}},
                        QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}},
                        [](bool, const QJsonObject&, const QJsonObject&, const QString&) {});
                });
        if (!pipeline->start())
            return;
        QJsonObject join{
            {QStringLiteral("request"), QStringLiteral("join")},
            {QStringLiteral("ptype"), QStringLiteral("subscriber")},
            {QStringLiteral("room"), admission.room},
            {QStringLiteral("pin"), admission.pin},
            {QStringLiteral("streams"), QJsonArray{QJsonObject{{QStringLiteral("feed"), feed}}}}};
        if (privateId != 0)
            join.insert(QStringLiteral("private_id"), privateId);
        QPointer<SubscriberPipeline> guard(pipeline);
        session->message(
            handle, join, {},
            [this, guard, feed](bool ok, const QJsonObject&, const QJsonObject& jsep, const QString& error) {
                if (!guard)
                    return;
                if (!ok || jsep.value(QLatin1String("type")).toString() != QLatin1String("offer")) {
                    qWarning("subscriber %lld: %s", feed,
                             qPrintable(ok ? QStringLiteral("no offer") : error));
                    // After a reconnection the publisher may not be back yet
                    // ("no such feed"), and its publishers event may already
                    // have passed: try again while it is still listed.
                    QTimer::singleShot(kResubscribeMs, this, [this, guard, feed] {
                        auto remote = remotes.find(feed);
                        if (guard && remote != remotes.end() && remote->pipeline == guard && !recovering &&
                            !ended && !leaving)
                            resubscribe(feed);
                    });
                    return;
                }
                guard->acceptOffer(jsep.value(QLatin1String("sdp")).toString());
            });
    });
}

void MeetingEngine::Private::removeRemote(qint64 id)
{
    auto remote = remotes.find(id);
    if (remote == remotes.end())
        return;
    dispose(remote->pipeline);
    audioMidOf.remove(id);
    if (remote->handle != 0)
        session->detach(remote->handle);
    remotes.erase(remote);
    emit q->participantLeft(id);
}

void MeetingEngine::Private::dropSubscription(Remote& remote)
{
    dispose(remote.pipeline);
    remote.pipeline = nullptr;
    if (remote.handle != 0 && session)
        session->detach(remote.handle);
    remote.handle = 0;
    remote.subscribing = false;
    remote.restartAsked = false;
    heardPackets.remove(remote.participant.id);
    quietTicks.remove(remote.participant.id);
}

void MeetingEngine::Private::resubscribe(qint64 id)
{
    auto remote = remotes.find(id);
    if (remote == remotes.end() || !session)
        return;
    dropSubscription(*remote);
    remote->subscribing = true;
    subscribe(id);
}

void MeetingEngine::Private::lose(const char* why, bool deadMedia)
{
    if (ended || leaving)
        return;
    // Lost again right after coming back: the peer connections are as dead
    // as the signalling was.
    if (deadMedia || (sinceRestored.isValid() && sinceRestored.elapsed() < 10000))
        rebuildAfterReclaim = true;
    if (recovering)
        return;
    recovering = true;
    silentTicks = 0;
    backoff.reset();
    askedEarly = false;
    qInfo("meeting: connection lost: %s", why);
    emit q->connectionLost();
    attemptTimer.start(backoff.next());
}

void MeetingEngine::Private::attempt()
{
    if (!recovering || ended || leaving)
        return;
    attemptDeadline.start(kAttemptMs);
    if (!session || !session->hasSession()) {
        rejoin();
        return;
    }
    if (restartIce())
        return;
    // What follows forgets the requests in flight (a new socket, a new
    // session or new peer connections): no restart is waited for.
    publisherRestarting = false;
    for (Remote& remote : remotes)
        remote.restartAsked = false;
    // The same session first; from the second attempt on, the service is
    // asked where the meeting is now (another server, a new room).
    if (backoff.attempts() >= 2 && !admissionFresh && wantsAdmission()) {
        awaitingAdmission = true;
        emit q->readmissionNeeded();
        return;
    }
    admissionFresh = false;
    session->reconnect();
}

void MeetingEngine::Private::attemptFailed()
{
    // The service's answer about a destroyed room decides what comes next.
    if (!recovering || ended || leaving || goneRoom != 0)
        return;
    attemptDeadline.stop();
    const bool wasIceRestart = iceRestarting;
    if (wasIceRestart && !iceRound.isAnswered()) {
        qInfo("meeting: no answer to the ICE restart");
        iceRestarts = kIceRestarts; // a new socket next
    }
    endIceRestart();
    awaitingAdmission = false;
    rejoining = false;
    if (!attemptTimer.isActive())
        attemptTimer.start(wasIceRestart ? 0 : backoff.next());
}

void MeetingEngine::Private::rejoin()
{
    // Everything but the participants goes: their tiles keep their last
    // pictures until they are back.
    for (Remote& remote : remotes) {
        dispose(remote.pipeline);
        remote.pipeline = nullptr;
        remote.handle = 0;
        remote.subscribing = false;
    }
    heardPackets.clear();
    quietTicks.clear();
    if (chat) { // it lives on the old session; a new one follows the publisher's
        chat->disconnect(this);
        chat->stop();
        chat->deleteLater();
        chat = nullptr;
    }
    dispose(publisher);
    publisher = nullptr;
    publisherHandle = 0;
    published = false;
    oldPublisherHangupDue = false;
    ++republishCount; // an unpublish still answered belongs to the old session
    if (session) {
        session->disconnect(this);
        session->abort();
        session->deleteLater();
        session = nullptr;
    }
    if (!admissionFresh && wantsAdmission()) {
        awaitingAdmission = true;
        emit q->readmissionNeeded();
        return;
    }
    admissionFresh = false;
    rejoining = true;
    openSession();
}

void MeetingEngine::Private::rebuildPeers()
{
    // New peer connections on the same handles: new ICE credentials and a
    // new DTLS handshake, the ICE restart of a server that renegotiates
    // nothing else.
    if (publisher) {
        dispose(publisher);
        publisher = nullptr;
        published = false;
        republishing = true;
        oldPublisherHangupDue = true;
        unpublishAnswered = false;
        session->message(publisherHandle, QJsonObject{{QStringLiteral("request"), QStringLiteral("unpublish")}},
                         {}, [this, count = ++republishCount](bool ok, const QJsonObject&, const QJsonObject&,
                                                              const QString&) {
                             if (ended || leaving || publisher || count != republishCount)
                                 return;
                             unpublishAnswered = true;
                             // Refused: nothing was published any more, and
                             // nothing is closed.
                             if (!ok || !oldPublisherHangupDue) {
                                 oldPublisherHangupDue = false;
                                 publish();
                                 return;
                             }
                             QTimer::singleShot(kCloseWaitMs, this, [this, count] {
                                 if (ended || leaving || publisher || count != republishCount)
                                     return;
                                 oldPublisherHangupDue = false;
                                 publish();
                             });
                         });
    }
    for (qint64 id : remotes.keys()) {
        if (remotes.value(id).handle != 0)
            resubscribe(id);
    }
}

bool MeetingEngine::Private::restartIce()
{
    // Only while the socket is taken to be alive (media lost on its own: ICE
    // failed, or UDP is blocked), with peer connections to restart, and not
    // forever. A socket that is dead too shows in an unanswered restart.
    bool subscribed = false;
    for (const Remote& remote : qAsConst(remotes))
        subscribed = subscribed || (remote.pipeline && remote.handle != 0);
    // A restart keeps the local candidates: on other addresses only new peer
    // connections, which gather anew, get through.
    if (!session->isOpen() || iceRestarts >= kIceRestarts || (!(publisher && published) && !subscribed) ||
        network.addresses() != addressesInUse)
        return false;
    ++iceRestarts;
    iceRestarting = true;
    if (!iceClock.isValid())
        iceClock.start();
    iceRound.begin(iceClock.elapsed());
    attemptDeadline.start(kIceRestartMs);
    iceCheck.start();
    qInfo("meeting: restarting ICE (attempt %d)", iceRestarts);
    // One restart at a time per peer connection: an offer the server has not
    // answered yet would otherwise cross a newer one.
    if (publisher && published && !publisherRestarting) {
        publisherRestarting = true;
        publisher->restartIce();
    }
    for (Remote& remote : remotes) {
        if (!remote.pipeline || remote.handle == 0)
            continue;
        iceRound.expect(remote.participant.id, remote.pipeline->packetsReceived());
        if (remote.restartAsked)
            continue;
        remote.restartAsked = true;
        const qint64 id = remote.participant.id;
        QPointer<SubscriberPipeline> guard(remote.pipeline);
        // Janus offers anew with its own new credentials.
        session->message(
            remote.handle,
            QJsonObject{{QStringLiteral("request"), QStringLiteral("configure")}, {QStringLiteral("restart"), true}},
            {}, [this, guard, id](bool ok, const QJsonObject&, const QJsonObject& jsep, const QString& error) {
                auto remote = remotes.find(id);
                if (!guard || remote == remotes.end() || remote->pipeline != guard)
                    return;
                remote->restartAsked = false;
                if (!ok || jsep.value(QLatin1String("type")).toString() != QLatin1String("offer")) {
                    qInfo("meeting: ICE restart of subscription %lld refused: %s", id,
                          qPrintable(ok ? QStringLiteral("no offer") : error));
                    return;
                }
                iceRound.answered();
                guard->acceptOffer(jsep.value(QLatin1String("sdp")).toString());
            });
    }
    return true;
}

void MeetingEngine::Private::checkIceRestart()
{
    const qint64 now = iceClock.elapsed();
    QHash<qint64, quint64> packets;
    for (const Remote& remote : qAsConst(remotes)) {
        if (remote.pipeline && !(remote.participant.audioMuted && remote.participant.videoOff))
            packets.insert(remote.participant.id, remote.pipeline->packetsReceived());
    }
    if (!iceRound.succeeded(packets, now)) {
        if (!iceRound.isAnswered() && now - iceRound.startedMs() >= kIceAnswerMs)
            attemptFailed(); // the signalling is gone as well
        return;
    }
    qInfo("meeting: ICE restarted: media flows again on the same session");
    // For decoders that lost the thread: now, and again when the others'
    // subscriptions, restarted on their own, are surely back too.
    if (publisher) {
        publisher->forceKeyFrame();
        for (int ms : {1000, 2500})
            QTimer::singleShot(ms, publisher, [peer = publisher] { peer->forceKeyFrame(); });
    }
    sendState();
    restored();
}

void MeetingEngine::Private::endIceRestart()
{
    iceRestarting = false;
    iceCheck.stop();
}

void MeetingEngine::Private::restored()
{
    const bool wasRecovering = recovering;
    recovering = false;
    rebuildAfterReclaim = false;
    endIceRestart();
    iceRestarts = 0;
    addressesInUse = network.addresses();
    awaitingAdmission = false;
    admissionFresh = false;
    attemptTimer.stop();
    attemptDeadline.stop();
    backoff.reset();
    silentTicks = 0;
    heardPackets.clear();
    quietTicks.clear();
    sinceRestored.start();
    if (wasRecovering) {
        qInfo("meeting: connection restored");
        emit q->connectionRestored();
    }
}

void MeetingEngine::Private::watchMedia()
{
    // The signalling may not notice a dead network for 25 s (a keep-alive
    // every 15 s, 10 s for its answer); the media stops at once.
    if (recovering || !session || selfId == 0)
        return;
    bool expecting = false, heard = false;
    QVector<qint64> stuck;
    for (auto remote = remotes.begin(); remote != remotes.end(); ++remote) {
        if (!remote->pipeline)
            continue;
        const quint64 packets = remote->pipeline->packetsReceived();
        const quint64 before = heardPackets.value(remote.key(), 0);
        heardPackets.insert(remote.key(), packets);
        // Someone muted with the camera off sends nothing at all.
        if (remote->participant.audioMuted && remote->participant.videoOff) {
            quietTicks.remove(remote.key());
            continue;
        }
        // One subscription silent while the meeting goes on (made to a feed
        // that was being published again, say) is made anew; the whole
        // meeting silent is a lost network, below.
        const int quiet = packets == before ? quietTicks.value(remote.key(), 0) + 1 : 0;
        quietTicks.insert(remote.key(), quiet);
        if (quiet >= (before == 0 ? kSilentSeconds : kStuckSeconds))
            stuck << remote.key();
        if (before == 0)
            continue;
        expecting = true;
        heard = heard || packets != before;
    }
    silentTicks = expecting && !heard ? silentTicks + 1 : 0;
    if (silentTicks >= kSilentSeconds) {
        lose("no media from anyone", true);
        return;
    }
    for (qint64 id : qAsConst(stuck)) {
        qInfo("meeting: no media from %lld: subscribing again", id);
        resubscribe(id);
    }
}

void MeetingEngine::Private::resync()
{
    // Janus does not keep the events of a session whose socket is gone:
    // whoever came or went meanwhile is learnt from the room's list. (A
    // change of someone's mute or camera meanwhile shows at their next.)
    session->message(publisherHandle,
                     QJsonObject{{QStringLiteral("request"), QStringLiteral("listparticipants")},
                                 {QStringLiteral("room"), admission.room}},
                     {}, [this](bool ok, const QJsonObject& data, const QJsonObject&, const QString&) {
                         if (!ok || ended)
                             return;
                         QSet<qint64> present;
                         QJsonArray publishers;
                         for (const QJsonValue& value : data.value(QLatin1String("participants")).toArray()) {
                             const QJsonObject entry = value.toObject();
                             const qint64 id = entry.value(QLatin1String("id")).toVariant().toLongLong();
                             present.insert(id);
                             if (remotes.contains(id) || id == selfId || shares->isShareFeed(id))
                                 continue;
                             const qint64 owner = shareFeedOf(id);
                             if (entry.value(QLatin1String("publisher")).toBool() &&
                                 (owner == selfId || remotes.contains(owner)))
                                 shares->claimFeed(id, owner);
                             else if (entry.value(QLatin1String("publisher")).toBool())
                                 publishers.append(entry);
                             else
                                 addListener(entry);
                         }
                         shares->retainOnly(present);
                         for (qint64 id : remotes.keys()) {
                             if (!present.contains(id))
                                 removeRemote(id);
                         }
                         addPublishers(publishers);
                     });
}

void MeetingEngine::Private::watchDevices()
{
    // Test media without a speaker has no device to lose, and leaves the
    // sound server alone.
    if (catalog || (options.testMedia && !options.deviceAudio && !devices.hasSpeaker()))
        return;
    // The sound server's devices are watched when the test media use them.
    catalog = std::make_unique<DeviceCatalog>(options.testMedia && !options.deviceAudio);
    connect(catalog.get(), &DeviceCatalog::changed, this, [this](DeviceKind kind) {
        if (ended || (options.testMedia && (kind == DeviceKind::Camera ||
                                            (kind == DeviceKind::Microphone && !options.deviceAudio))))
            return;
        const bool any = !catalog->devices(kind).isEmpty();
        if (kind == DeviceKind::Microphone && microphoneGone) {
            if (any)
                useDevice(kind, options.microphoneId);
            return;
        }
        if (kind == DeviceKind::Speaker && speakerGone) {
            if (any && options.playAudio)
                useDevice(kind, options.speakerId);
            return;
        }
        const QString current = devices.currentId(kind);
        if (current.isEmpty())
            return;
        for (const DeviceInfo& device : catalog->devices(kind)) {
            if (device.id == current)
                return;
        }
        fallBack(kind, current);
    });
}

void MeetingEngine::Private::useDevice(DeviceKind kind, const QString& id)
{
    if (kind == DeviceKind::Speaker) {
        // Every remote is heard through the one mix: only its sink changes.
        devices.choose(kind, id);
        if (speaker && options.playAudio)
            speaker->replaceSpeaker(devices.createSpeaker());
        const bool wasGone = speakerGone;
        speakerGone = !devices.hasSpeaker();
        if (wasGone && !speakerGone)
            emit q->speakerRestored();
        return;
    }
    const bool video = kind == DeviceKind::Camera;
    if (!options.testMedia || (!video && options.deviceAudio))
        devices.choose(kind, id);
    // The microphone is plugged into its selector, the camera replaces the
    // old source.
    if (publisher)
        publisher->replaceSource(video, publisher->createSource(video));
    if (!video && microphoneGone && (devices.hasMicrophone() || options.testMedia)) {
        microphoneGone = false;
        emit q->participantChanged(self());
        emit q->microphoneRestored();
        return;
    }
    emit q->participantChanged(self());
}

void MeetingEngine::Private::fallBack(DeviceKind kind, const QString& lostId)
{
    // The default, unless the default is what was lost.
    QString next;
    for (const auto& [info, device] : probeDevices(kind)) {
        if (next.isEmpty() && info.id != lostId)
            next = info.id;
        gst_object_unref(device);
    }
    if (next.isEmpty() && kind == DeviceKind::Microphone) {
        onMicrophoneLost();
        return;
    }
    if (next.isEmpty() && kind == DeviceKind::Speaker) {
        // The mix goes on into nothing until a speaker is back.
        devices.drop(kind);
        if (speaker)
            speaker->replaceSpeaker(nullptr);
        if (!speakerGone) {
            speakerGone = true;
            emit q->speakerLost();
        }
        emit q->deviceLost(kind, QString());
        return;
    }
    if (next.isEmpty()) {
        if (publisher)
            publisher->replaceSource(true, nullptr);
        // Choosing one in the settings brings that kind back.
        devices.drop(kind);
        emit q->participantChanged(self());
        emit q->deviceLost(kind, QString());
        return;
    }
    useDevice(kind, next);
    QString name;
    if (catalog) {
        // Kept: findDevice() points into the list.
        const QVector<DeviceInfo> list = catalog->devices(kind);
        if (const DeviceInfo* info = findDevice(list, devices.currentId(kind)))
            name = info->name;
    }
    emit q->deviceLost(kind, name);
}

QJsonArray MeetingEngine::Private::descriptions() const
{
    QJsonArray list;
    if (!audioMid.isEmpty())
        list.append(QJsonObject{{QStringLiteral("mid"), audioMid},
                                {QStringLiteral("description"), audioMuted ? kAudioMuted : kAudioOn}});
    if (!videoMid.isEmpty())
        list.append(QJsonObject{{QStringLiteral("mid"), videoMid},
                                {QStringLiteral("description"), videoEnabled ? kVideoOn : kVideoOff}});
    return list;
}

void MeetingEngine::Private::sendState()
{
    if (!session || publisherHandle == 0 || !published)
        return;
    session->message(publisherHandle,
                     QJsonObject{{QStringLiteral("request"), QStringLiteral("configure")},
                                 {QStringLiteral("descriptions"), descriptions()}},
                     {}, [](bool, const QJsonObject&, const QJsonObject&, const QString&) {});
}

namespace {

std::once_flag g_prepared;
// The certificate's maker. It must end before the process does: OpenSSL's
// exit handlers pull its tables from under a key generation still running.
std::future<void> g_warmUp;

void waitForWarmUp()
{
    if (g_warmUp.valid())
        g_warmUp.wait();
}

} // namespace

void MeetingEngine::prepare()
{
    std::call_once(g_prepared, [] {
        gst_init(nullptr, nullptr);
        g_warmUp = std::async(std::launch::async, [] {
            // The first DTLS element makes the certificate that every
            // connection of the process then shares.
            if (GstElement* dtls = gst_element_factory_make("dtlsdec", nullptr))
                gst_object_unref(gst_object_ref_sink(dtls));
        });
        // Waits when the application object goes, before exit handlers run.
        if (QCoreApplication::instance())
            qAddPostRoutine(waitForWarmUp);
    });
}

MeetingEngine::MeetingEngine(const Admission& admission, const MediaOptions& options, QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<talvora::media::Participant>();
    prepare();
    d = std::make_unique<Private>(this, admission, options);
}

MeetingEngine::~MeetingEngine()
{
    d.reset();
    waitForWarmUp();
}

void MeetingEngine::start()
{
    if (!d->session && !d->ended)
        d->start();
}

void MeetingEngine::leave()
{
    if (d->leaving || d->ended) {
        if (!d->leaving) {
            d->leaving = true;
            QTimer::singleShot(0, this, &MeetingEngine::left);
        }
        return;
    }
    d->leaving = true;
    d->statsTimer.stop();
    d->levelTimer.stop();
    if (!d->session || !d->session->isOpen()) {
        d->ended = true;
        d->tearDown();
        QTimer::singleShot(0, this, &MeetingEngine::left);
        return;
    }
    if (d->publisherHandle != 0)
        d->session->message(d->publisherHandle,
                            QJsonObject{{QStringLiteral("request"), QStringLiteral("leave")}});
    d->session->close();
}

void MeetingEngine::readmit(const Admission& admission)
{
    if (!d->awaitingAdmission || d->ended || d->leaving)
        return;
    d->awaitingAdmission = false;
    if (d->goneRoom != 0) {
        const bool moved = admission.room == d->goneRoom;
        d->goneRoom = 0;
        if (!moved) {
            d->endMeeting();
            return;
        }
        // Back in the same room on its new server (or made again on the
        // old one): the old handle was in the destroyed room, so in anew.
        const QString name = d->admission.displayName;
        d->admission = admission;
        if (d->admission.displayName.isEmpty())
            d->admission.displayName = name;
        d->ice.servers = admission.iceServers;
        d->admissionFresh = true;
        d->rejoin();
        return;
    }
    const bool sameRoom = admission.server == d->admission.server && admission.room == d->admission.room;
    const QString name = d->admission.displayName;
    d->admission = admission;
    if (d->admission.displayName.isEmpty())
        d->admission.displayName = name;
    d->ice.servers = admission.iceServers;
    if (sameRoom && d->session && d->session->hasSession()) {
        d->session->reconnect();
        return;
    }
    d->admissionFresh = true;
    d->rejoin();
}

void MeetingEngine::readmissionRefused()
{
    // Its room destroyed and the service not saying where the meeting went
    // on: taken as the end, as the room's destruction always was.
    if (d->awaitingAdmission && d->goneRoom != 0) {
        d->awaitingAdmission = false;
        d->goneRoom = 0;
        d->endMeeting();
        return;
    }
    if (d->awaitingAdmission)
        d->attemptFailed();
}

void MeetingEngine::setSimulatedLoss(double share)
{
    SimulatedLink::setLoss(qBound(0.0, share, 1.0));
}

QVector<int> MeetingEngine::sentVideo() const
{
    if (!d->publisher || !d->publisher->sendsVideo())
        return {0, 0, 0, 0};
    const VideoStep step = d->publisher->videoStep();
    return {step.width, step.height, step.fps, step.kbps};
}

QStringList MeetingEngine::sendingCandidateTypes() const
{
    if (!d->publisher)
        return {QString(), QString()};
    return {d->publisher->localCandidateType(), d->publisher->remoteCandidateType()};
}

void MeetingEngine::setAudioProcessing(const AudioProcessing& processing)
{
    d->options.audioProcessing = processing;
    if (d->publisher)
        d->publisher->setAudioProcessing(processing);
}

AudioProcessing MeetingEngine::audioProcessing() const
{
    return d->options.audioProcessing;
}

void MeetingEngine::setTestToneLevel(double dbfs)
{
    d->options.testToneDbfs = dbfs;
    if (d->publisher)
        d->publisher->setTestToneLevel(dbfs);
}

void MeetingEngine::setAudioMuted(bool muted)
{
    if (d->audioMuted == muted || (!muted && d->microphoneGone))
        return;
    d->audioMuted = muted;
    if (d->publisher)
        d->publisher->setAudioSending(!muted);
    d->sendState();
    if (muted)
        emit talking(d->selfId, false);
    emit participantChanged(d->self());
}

void MeetingEngine::setVideoEnabled(bool enabled)
{
    if (d->videoEnabled == enabled)
        return;
    d->videoEnabled = enabled;
    if (d->publisher)
        d->publisher->setVideoSending(enabled);
    d->sendState();
    emit participantChanged(d->self());
}

bool MeetingEngine::audioMuted() const
{
    return d->audioMuted;
}

bool MeetingEngine::videoEnabled() const
{
    return d->videoEnabled;
}

bool MeetingEngine::hasCamera() const
{
    return d->hasCamera();
}

bool MeetingEngine::hasMicrophone() const
{
    return d->hasMicrophone();
}

QVector<Participant> MeetingEngine::participants() const
{
    QVector<Participant> list;
    if (d->selfId != 0)
        list << d->self();
    for (const Remote& remote : qAsConst(d->remotes))
        list << remote.participant;
    return list;
}

void MeetingEngine::setDevice(DeviceKind kind, const QString& id)
{
    if (d->ended)
        return;
    // The one a device that comes back after a loss returns to.
    (kind == DeviceKind::Camera ? d->options.cameraId
     : kind == DeviceKind::Microphone ? d->options.microphoneId
                                      : d->options.speakerId) = id;
    d->useDevice(kind, id);
}

void MeetingEngine::startShare(const ShareSource& source)
{
    if (!d->ended && !d->leaving)
        d->shares->start(source);
}

void MeetingEngine::stopShare()
{
    d->shares->stop();
}

bool MeetingEngine::isSharing() const
{
    return d->shares->isSharing();
}

qint64 MeetingEngine::sharerId() const
{
    return d->shares->sharerId();
}

ReceiveStats MeetingEngine::shareStats() const
{
    return d->shares->stats();
}

QVector<ReceiveStats> MeetingEngine::receiveStats() const
{
    QVector<ReceiveStats> list;
    const double publisherRtt = d->publisher ? d->publisher->rttMs() : -1;
    for (const Remote& remote : qAsConst(d->remotes)) {
        if (!remote.pipeline)
            continue;
        ReceiveStats stats = remote.pipeline->stats();
        if (stats.rttMs < 0)
            stats.rttMs = publisherRtt; // the same path to the same server
        list << stats;
    }
    return list;
}

} // namespace talvora::media

namespace talvora::media {

bool MeetingEngine::sendChat(const QString& text)
{
    if (d->ended || d->leaving || text.trimmed().isEmpty() || text.size() > kMaxChatChars)
        return false;
    // Not in the room yet, or in it while the chat waits for the media's
    // negotiation: startChat() sends it.
    if (d->selfId == 0 || (!d->chat && !d->chatUnavailable)) {
        d->chatsBeforeJoin << text;
        return true;
    }
    return d->chat && d->chat->send(text);
}

} // namespace talvora::media
