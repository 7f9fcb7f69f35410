#include "ScreenShare.h"

#include "JanusSession.h"
#include "SharePipeline.h"
#include "SubscriberPipeline.h"

#include <QJsonArray>
#include <QPointer>
#include <QRegularExpression>

namespace talvora::media {
namespace {

const QString kVideoRoom = QStringLiteral("janus.plugin.videoroom");
const QString kShareMark = QStringLiteral("screen share of ");
// Janus's own ids stay below 2^53, so this bit keeps a share's id in range.
constexpr qint64 kShareFeedBit = qint64(1) << 51;

qint64 idOf(const QJsonObject& object)
{
    return object.value(QLatin1String("id")).toVariant().toLongLong();
}

} // namespace

qint64 shareFeedOf(qint64 owner)
{
    return owner ^ kShareFeedBit;
}

qint64 shareOwnerOf(const QJsonObject& publisher)
{
    for (const QJsonValue& value : publisher.value(QLatin1String("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString description = stream.value(QLatin1String("description")).toString();
        if (stream.value(QLatin1String("type")).toString() == QLatin1String("video") &&
            description.startsWith(kShareMark))
            return description.mid(kShareMark.size()).toLongLong();
    }
    return 0;
}

ScreenShare::ScreenShare(MeetingEngine* engine, const Admission& admission, const IcePolicy& ice,
                         int jitterBufferMs, QObject* parent)
    : QObject(parent), m_engine(engine), m_admission(admission), m_ice(ice), m_jitterBufferMs(jitterBufferMs)
{
}

ScreenShare::~ScreenShare()
{
    tearDown();
}

void ScreenShare::setSession(JanusSession* session, qint64 selfId, qint64 privateId)
{
    m_session = session;
    m_selfId = selfId;
    m_privateId = privateId;
}

void ScreenShare::dispose(WebRtcPeer* peer)
{
    if (!peer)
        return;
    peer->disconnect(); // the frame's connection too, made in the engine's name
    peer->stop();
    peer->deleteLater();
}

void ScreenShare::tearDown()
{
    dispose(m_outgoing.pipeline);
    m_outgoing = Outgoing();
    for (const Incoming& incoming : qAsConst(m_incoming))
        dispose(incoming.pipeline);
    m_incoming.clear();
    m_session = nullptr;
}

void ScreenShare::start(const ShareSource& source)
{
    if (!m_session || isSharing())
        return;
    m_outgoing.state = Outgoing::Joining;
    m_session->attach(kVideoRoom, [this, source](qint64 handle) {
        if (m_outgoing.state != Outgoing::Joining || m_outgoing.handle != 0 || !m_session) {
            if (m_session)
                m_session->detach(handle); // stopped while we attached
            return;
        }
        m_outgoing.handle = handle;
        auto* pipeline = new SharePipeline(source, m_ice, this);
        m_outgoing.pipeline = pipeline;
        connect(pipeline, &WebRtcPeer::failed, this, [this](const QString& reason) { endOutgoing(reason); });
        connect(pipeline, &WebRtcPeer::localCandidate, this, [this, handle](const QJsonObject& candidate) {
            if (m_session)
                m_session->trickle(handle, candidate);
        });
        connect(
            pipeline, &WebRtcPeer::localDescription, this, [this](const QString& type, const QString& sdp) {
                const QRegularExpressionMatch mid =
                    QRegularExpression(QStringLiteral("\\r\\na=mid:([^\\r]+)")).match(sdp);
                m_outgoing.mid = mid.captured(1);
                m_outgoing.offer = QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}};
                publishWhenReady();
            });
        pipeline->start();
    });
}

void ScreenShare::publishWhenReady()
{
    if (m_outgoing.offer.isEmpty() || !m_session)
        return;
    const qint64 handle = m_outgoing.handle;
    // Joined and published in one request, under the id that the others
    // derive from this participant's: in rooms that announce each join they
    // learn of the share's handle before its stream, and must not take it
    // for a participant of its own.
    const QJsonObject body{
        {QStringLiteral("request"), QStringLiteral("joinandconfigure")},
        {QStringLiteral("ptype"), QStringLiteral("publisher")},
        {QStringLiteral("room"), m_admission.room},
        {QStringLiteral("pin"), m_admission.pin},
        {QStringLiteral("display"), m_admission.displayName},
        {QStringLiteral("id"), shareFeedOf(m_selfId)},
        {QStringLiteral("descriptions"),
         QJsonArray{QJsonObject{{QStringLiteral("mid"), m_outgoing.mid},
                                {QStringLiteral("description"), kShareMark + QString::number(m_selfId)}}}}};
    const QJsonObject offer = m_outgoing.offer;
    m_outgoing.offer = {};
    m_session->message(
        handle, body, offer,
        [this, handle](bool ok, const QJsonObject& data, const QJsonObject& jsep, const QString& error) {
            if (m_outgoing.handle != handle)
                return;
            if (!ok || jsep.value(QLatin1String("type")).toString() != QLatin1String("answer")) {
                endOutgoing(ok ? QStringLiteral("no answer to the share") : error);
                return;
            }
            m_outgoing.feed = idOf(data);
            m_outgoing.pipeline->setAnswer(jsep.value(QLatin1String("sdp")).toString());
            m_outgoing.state = Outgoing::Sending;
            emit m_engine->localShareChanged(true);
        });
}

void ScreenShare::stop()
{
    endOutgoing({});
}

void ScreenShare::endOutgoing(const QString& failure)
{
    if (m_outgoing.state == Outgoing::Idle)
        return;
    dispose(m_outgoing.pipeline);
    // Detaching the handle leaves the room: the others see the feed go.
    if (m_outgoing.handle != 0 && m_session)
        m_session->detach(m_outgoing.handle);
    m_outgoing = Outgoing();
    if (!failure.isEmpty())
        emit m_engine->shareFailed(failure);
    emit m_engine->localShareChanged(false);
}

bool ScreenShare::ownsHandle(qint64 handle) const
{
    if (handle != 0 && handle == m_outgoing.handle)
        return true;
    for (const Incoming& incoming : m_incoming) {
        if (incoming.handle == handle)
            return true;
    }
    return false;
}

void ScreenShare::addRemoteCandidate(qint64 handle, const QJsonObject& candidate)
{
    if (handle == m_outgoing.handle && m_outgoing.pipeline) {
        m_outgoing.pipeline->addRemoteCandidate(candidate);
        return;
    }
    for (const Incoming& incoming : qAsConst(m_incoming)) {
        if (incoming.handle == handle && incoming.pipeline)
            incoming.pipeline->addRemoteCandidate(candidate);
    }
}

void ScreenShare::onHangup(qint64 handle, const QString& reason)
{
    if (handle == m_outgoing.handle)
        endOutgoing(QStringLiteral("media server hung up the share: %1").arg(reason));
}

bool ScreenShare::claim(const QJsonObject& publisher)
{
    const qint64 owner = shareOwnerOf(publisher);
    if (owner == 0)
        return false;
    claimFeed(idOf(publisher), owner);
    return true;
}

void ScreenShare::claimFeed(qint64 feed, qint64 owner)
{
    if (owner == m_selfId || feed == m_outgoing.feed || m_incoming.contains(feed) || !m_session)
        return;
    m_incoming.insert(feed, Incoming{owner, 0, nullptr});
    emit m_engine->shareStarted(owner);
    subscribe(feed);
}

void ScreenShare::retainOnly(const QSet<qint64>& feeds)
{
    for (qint64 feed : m_incoming.keys()) {
        if (!feeds.contains(feed))
            remove(feed);
    }
}

bool ScreenShare::isShareFeed(qint64 feed) const
{
    return m_incoming.contains(feed) || (feed != 0 && feed == m_outgoing.feed);
}

bool ScreenShare::remove(qint64 feed)
{
    auto incoming = m_incoming.find(feed);
    if (incoming == m_incoming.end())
        return feed != 0 && feed == m_outgoing.feed;
    const Incoming gone = *incoming;
    m_incoming.erase(incoming);
    dispose(gone.pipeline);
    if (gone.handle != 0 && m_session)
        m_session->detach(gone.handle);
    emit m_engine->shareStopped(gone.owner);
    return true;
}

qint64 ScreenShare::sharerId() const
{
    return m_incoming.isEmpty() ? 0 : m_incoming.cbegin()->owner;
}

ReceiveStats ScreenShare::stats() const
{
    if (m_incoming.isEmpty())
        return {};
    const Incoming& incoming = *m_incoming.cbegin();
    ReceiveStats stats;
    if (incoming.pipeline)
        stats = incoming.pipeline->stats();
    stats.id = incoming.owner;
    return stats;
}

void ScreenShare::refreshStats()
{
    if (m_outgoing.pipeline)
        m_outgoing.pipeline->refreshStats();
    for (const Incoming& incoming : qAsConst(m_incoming)) {
        if (incoming.pipeline)
            incoming.pipeline->refreshStats();
    }
}

void ScreenShare::subscribe(qint64 feed)
{
    m_session->attach(kVideoRoom, [this, feed](qint64 handle) {
        auto incoming = m_incoming.find(feed);
        if (incoming == m_incoming.end() || !m_session) {
            if (m_session)
                m_session->detach(handle); // the share ended while we attached
            return;
        }
        incoming->handle = handle;
        const qint64 owner = incoming->owner;
        auto* pipeline = new SubscriberPipeline(feed, m_ice, m_jitterBufferMs, nullptr, this);
        incoming->pipeline = pipeline;
        connect(pipeline, &WebRtcPeer::failed, this,
                [feed](const QString& reason) { qWarning("share %lld: %s", feed, qPrintable(reason)); });
        connect(pipeline, &SubscriberPipeline::frame, m_engine,
                [this, owner](const QImage& image) { emit m_engine->shareFrame(owner, image); });
        connect(pipeline, &WebRtcPeer::localCandidate, this, [this, handle](const QJsonObject& candidate) {
            if (m_session)
                m_session->trickle(handle, candidate);
        });
        connect(pipeline, &WebRtcPeer::localDescription, this,
                [this, handle](const QString& type, const QString& sdp) {
                    if (m_session)
                        m_session->message(
                            handle, QJsonObject{{QStringLiteral("request"), QStringLiteral("start")}},
                            QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}});
                });
        if (!pipeline->start())
            return;
        QJsonObject join{
            {QStringLiteral("request"), QStringLiteral("join")},
            {QStringLiteral("ptype"), QStringLiteral("subscriber")},
            {QStringLiteral("room"), m_admission.room},
            {QStringLiteral("pin"), m_admission.pin},
            {QStringLiteral("streams"), QJsonArray{QJsonObject{{QStringLiteral("feed"), feed}}}}};
        if (m_privateId != 0)
            join.insert(QStringLiteral("private_id"), m_privateId);
        QPointer<SubscriberPipeline> guard(pipeline);
        m_session->message(
            handle, join, {},
            [guard, feed](bool ok, const QJsonObject&, const QJsonObject& jsep, const QString& error) {
                if (!guard)
                    return;
                if (!ok || jsep.value(QLatin1String("type")).toString() != QLatin1String("offer")) {
                    qWarning("share %lld: %s", feed, qPrintable(ok ? QStringLiteral("no offer") : error));
                    return;
                }
                guard->acceptOffer(jsep.value(QLatin1String("sdp")).toString());
            });
    });
}

} // namespace talvora::media
