#include "MeetingEngineDouble.h"

#include <QHash>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace talvora::media {
namespace {

// Everything the double knows of one engine; found by the engine's address,
// since MeetingEngine keeps its state private.
struct EngineState
{
    Admission admission;
    MediaOptions options;
    EngineDouble::Script script;
    bool started = false;
    bool joined = false;
    int leaveCalls = 0;
    Admission readmitted;
    int readmissionRefusals = 0;
    QStringList chatsSent;
    bool audioMuted = false;
    bool videoEnabled = true;
    QVector<Participant> participants;
    QVector<QPair<DeviceKind, QString>> deviceChoices;
    QVector<ShareSource> shareRequests;
    bool sharing = false;
    qint64 sharerId = 0;

    Participant self() const
    {
        Participant me;
        me.id = script.selfId;
        me.displayName = admission.displayName;
        me.self = true;
        me.host = admission.host;
        me.audioMuted = audioMuted;
        me.videoOff = !videoEnabled;
        return me;
    }
};

EngineDouble::Script g_script;
QVector<QPointer<MeetingEngine>> g_engines;
QHash<const MeetingEngine*, EngineState*> g_states;
qint64 g_nextId = 5001;

EngineState* stateOf(const MeetingEngine* engine)
{
    EngineState* state = g_states.value(engine);
    Q_ASSERT(state);
    return state;
}

} // namespace

class MeetingEngine::Private : public EngineState
{
};

MeetingEngine::MeetingEngine(const Admission& admission, const MediaOptions& options, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->admission = admission;
    d->options = options;
    d->script = g_script;
    d->audioMuted = !options.sendAudio || !d->script.hasMicrophone;
    d->videoEnabled = options.sendVideo && d->script.hasCamera;
    g_engines.push_back(this);
    g_states.insert(this, d.get());
}

MeetingEngine::~MeetingEngine()
{
    g_states.remove(this);
}

void MeetingEngine::start()
{
    d->started = true;
    if (d->script.joinOnStart)
        QTimer::singleShot(0, this, [this] { EngineDouble::join(this); });
}

void MeetingEngine::leave()
{
    ++d->leaveCalls;
    QTimer::singleShot(0, this, [this] { emit left(); });
}

void MeetingEngine::setAudioMuted(bool muted)
{
    if (!d->script.hasMicrophone || d->audioMuted == muted)
        return;
    d->audioMuted = muted;
    if (d->joined && d->script.reportSelf)
        emit participantChanged(d->self());
}

void MeetingEngine::setVideoEnabled(bool enabled)
{
    if (!d->script.hasCamera || d->videoEnabled == enabled)
        return;
    d->videoEnabled = enabled;
    if (d->joined && d->script.reportSelf)
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

void MeetingEngine::setAudioProcessing(const AudioProcessing& processing)
{
    d->options.audioProcessing = processing;
}

AudioProcessing MeetingEngine::audioProcessing() const
{
    return d->options.audioProcessing;
}

void MeetingEngine::setTestToneLevel(double dbfs)
{
    d->options.testToneDbfs = dbfs;
}

bool MeetingEngine::hasCamera() const
{
    return d->script.hasCamera;
}

bool MeetingEngine::hasMicrophone() const
{
    return d->script.hasMicrophone;
}

QVector<Participant> MeetingEngine::participants() const
{
    QVector<Participant> all = d->participants;
    if (d->joined)
        all.prepend(d->self());
    return all;
}

QVector<ReceiveStats> MeetingEngine::receiveStats() const
{
    return {};
}

void MeetingEngine::startShare(const ShareSource& source)
{
    d->shareRequests << source;
    if (d->sharing)
        return;
    d->sharing = true;
    QTimer::singleShot(0, this, [this] { emit localShareChanged(true); });
}

void MeetingEngine::stopShare()
{
    if (!d->sharing)
        return;
    d->sharing = false;
    emit localShareChanged(false);
}

bool MeetingEngine::isSharing() const
{
    return d->sharing;
}

qint64 MeetingEngine::sharerId() const
{
    return d->sharerId;
}

ReceiveStats MeetingEngine::shareStats() const
{
    return {};
}

QVector<int> MeetingEngine::sentVideo() const
{
    return {0, 0, 0, 0};
}

QStringList MeetingEngine::sendingCandidateTypes() const
{
    return {QString(), QString()};
}

void MeetingEngine::setSimulatedLoss(double) {}

void MeetingEngine::readmit(const Admission& admission)
{
    d->readmitted = admission;
}

void MeetingEngine::readmissionRefused()
{
    ++d->readmissionRefusals;
}

bool MeetingEngine::sendChat(const QString& text)
{
    if (text.trimmed().isEmpty() || text.size() > kMaxChatChars)
        return false;
    d->chatsSent << text;
    emit chatReceived(d->admission.displayName, QDateTime::currentDateTime(), text);
    return true;
}

void MeetingEngine::setDevice(DeviceKind kind, const QString& id)
{
    d->deviceChoices.append({kind, id});
}

QVector<QPair<DeviceKind, QString>> EngineDouble::deviceChoices(const MeetingEngine* engine)
{
    const EngineState* state = stateOf(engine);
    return state ? state->deviceChoices : QVector<QPair<DeviceKind, QString>>();
}

void EngineDouble::loseDevice(MeetingEngine* engine, DeviceKind kind, const QString& fallback)
{
    emit engine->deviceLost(kind, fallback);
}

EngineDouble::Script& EngineDouble::script()
{
    return g_script;
}

void EngineDouble::reset()
{
    g_script = Script();
    g_engines.clear();
}

MeetingEngine* EngineDouble::latest()
{
    return g_engines.isEmpty() ? nullptr : g_engines.back().data();
}

int EngineDouble::liveCount()
{
    int count = 0;
    for (const QPointer<MeetingEngine>& engine : g_engines)
        count += !engine.isNull();
    return count;
}

Admission EngineDouble::admission(const MeetingEngine* engine)
{
    return stateOf(engine)->admission;
}

MediaOptions EngineDouble::options(const MeetingEngine* engine)
{
    return stateOf(engine)->options;
}

bool EngineDouble::started(const MeetingEngine* engine)
{
    return stateOf(engine)->started;
}

int EngineDouble::leaveCalls(const MeetingEngine* engine)
{
    return stateOf(engine)->leaveCalls;
}

void EngineDouble::join(MeetingEngine* engine)
{
    EngineState* d = stateOf(engine);
    if (!d || d->joined)
        return;
    d->joined = true;
    emit engine->joined(d->script.selfId);
    if (d->script.reportSelf)
        emit engine->participantJoined(d->self());
}

Participant EngineDouble::addParticipant(MeetingEngine* engine, Participant participant)
{
    if (participant.id == 0)
        participant.id = g_nextId++;
    participant.self = false;
    stateOf(engine)->participants.push_back(participant);
    emit engine->participantJoined(participant);
    return participant;
}

void EngineDouble::changeParticipant(MeetingEngine* engine, const Participant& participant)
{
    for (Participant& known : stateOf(engine)->participants) {
        if (known.id == participant.id)
            known = participant;
    }
    emit engine->participantChanged(participant);
}

void EngineDouble::removeParticipant(MeetingEngine* engine, qint64 id)
{
    QVector<Participant>& known = stateOf(engine)->participants;
    known.erase(std::remove_if(known.begin(), known.end(), [id](const Participant& p) { return p.id == id; }),
                known.end());
    emit engine->participantLeft(id);
}

void EngineDouble::pushFrame(MeetingEngine* engine, qint64 id, const QImage& frame)
{
    emit engine->frame(id, frame);
}

QVector<ShareSource> EngineDouble::shareRequests(const MeetingEngine* engine)
{
    return stateOf(engine)->shareRequests;
}

void EngineDouble::startRemoteShare(MeetingEngine* engine, qint64 sharerId)
{
    stateOf(engine)->sharerId = sharerId;
    emit engine->shareStarted(sharerId);
}

void EngineDouble::stopRemoteShare(MeetingEngine* engine)
{
    const qint64 sharerId = std::exchange(stateOf(engine)->sharerId, 0);
    emit engine->shareStopped(sharerId);
}

void EngineDouble::pushShareFrame(MeetingEngine* engine, const QImage& frame)
{
    emit engine->shareFrame(stateOf(engine)->sharerId, frame);
}

void EngineDouble::setTalking(MeetingEngine* engine, qint64 id, bool talking)
{
    emit engine->talking(id, talking);
}

void EngineDouble::setAudioLevel(MeetingEngine* engine, qint64 id, double dbfs)
{
    emit engine->audioLevel(id, dbfs);
}

void EngineDouble::loseMicrophone(MeetingEngine* engine)
{
    // As the engine does: muted first, then the loss.
    stateOf(engine)->audioMuted = true;
    emit engine->participantChanged(stateOf(engine)->self());
    emit engine->microphoneLost();
}

void EngineDouble::endMeeting(MeetingEngine* engine)
{
    emit engine->meetingEnded();
}

void EngineDouble::loseConnection(MeetingEngine* engine)
{
    emit engine->connectionLost();
}

void EngineDouble::restoreConnection(MeetingEngine* engine)
{
    emit engine->connectionRestored();
}

void EngineDouble::askReadmission(MeetingEngine* engine)
{
    emit engine->readmissionNeeded();
}

Admission EngineDouble::readmitted(const MeetingEngine* engine)
{
    return stateOf(engine)->readmitted;
}

int EngineDouble::readmissionRefusals(const MeetingEngine* engine)
{
    return stateOf(engine)->readmissionRefusals;
}

void EngineDouble::fail(MeetingEngine* engine, const QString& reason)
{
    emit engine->failed(reason);
}

QImage EngineDouble::testFrame(const QSize& size, const QColor& colour, int phase)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, colour.lighter(130));
    gradient.setColorAt(1, colour.darker(160));
    painter.fillRect(image.rect(), gradient);
    const int bar = std::max(4, size.width() / 12);
    const int x = (phase * bar) % std::max(1, size.width());
    painter.fillRect(QRect(x, 0, bar, size.height()), QColor(255, 255, 255, 90));
    painter.setPen(QPen(QColor(255, 255, 255, 160), std::max(2, size.height() / 90)));
    painter.setBrush(Qt::NoBrush);
    const int r = size.height() / 4;
    painter.drawEllipse(QPoint(size.width() / 2, size.height() / 2), r, r);
    return image;
}

} // namespace talvora::media

namespace talvora::media {

QStringList EngineDouble::chatsSent(const MeetingEngine* engine)
{
    return stateOf(engine)->chatsSent;
}

void EngineDouble::receiveChat(MeetingEngine* engine, const QString& sender, const QDateTime& time,
                               const QString& text)
{
    emit engine->chatReceived(sender, time, text);
}

void EngineDouble::muteByHost(MeetingEngine* engine)
{
    engine->setAudioMuted(true);
    emit engine->mutedByHost();
}

void EngineDouble::kick(MeetingEngine* engine)
{
    emit engine->kicked();
}

} // namespace talvora::media
