// GStreamer's headers come before Qt's: GLib names a struct member
// "signals", which Qt's keyword macro would rewrite.
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>
#include <nice/agent.h>

#include "WebRtcPeer.h"
#include "JanusRtpSession.h"
#include "SimulatedLink.h"

#include <QHash>
#include <QHostAddress>
#include <QNetworkInterface>

#include <utility>

namespace talvora::media {
namespace {

// What a GLib callback needs: the gate to reach the owner, and the owner,
// which the posted function alone may touch.
struct Link
{
    GatePtr gate;
    WebRtcPeer* peer;
};

void deleteLink(gpointer data, GClosure*)
{
    delete static_cast<Link*>(data);
}

struct PromiseCall
{
    GatePtr gate;
    std::function<void(const GstStructure*)> fn;
};

// The address field of "candidate:F C proto prio ADDRESS port typ ...".
QString candidateAddress(const QString& candidate)
{
    const QStringList parts = candidate.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() > 5 ? parts.at(4) : QString();
}

// Empty when the field is missing or no string.
QString stringField(const GstStructure* stat, const char* name)
{
    return QString::fromUtf8(gst_structure_get_string(stat, name));
}

} // namespace

GstElement* WebRtcPeer::playOut(GstElement* branch, GstElement* speaker)
{
    if (!speaker) {
        speaker = gst_element_factory_make("fakesink", nullptr);
        g_object_set(speaker, "sync", FALSE, nullptr);
    }
    gst_bin_add(GST_BIN(m_pipeline), speaker);
    gst_element_link(branch, speaker);
    gst_element_sync_state_with_parent(speaker);
    return speaker;
}

WebRtcPeer::WebRtcPeer(const QString& name, const IcePolicy& ice, int latencyMs, QObject* parent)
    : QObject(parent), m_name(name), m_ice(ice), m_latencyMs(latencyMs),
      m_gate(std::make_shared<ThreadGate>(this))
{
    m_pipeline = gst_pipeline_new(name.toUtf8().constData());
    m_webrtc = gst_element_factory_make("webrtcbin", "webrtc");
    if (!m_webrtc) {
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
        return;
    }
    g_object_set(m_webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency", guint(latencyMs),
                 nullptr);
    for (const IceServer& server : ice.servers) {
        for (const QString& url : server.urls) {
            if (url.startsWith(QLatin1String("stun:"))) {
                const QByteArray stun = QByteArray("stun://") + url.mid(5).toUtf8();
                g_object_set(m_webrtc, "stun-server", stun.constData(), nullptr);
            } else if (url.startsWith(QLatin1String("turn:")) || url.startsWith(QLatin1String("turns:"))) {
                const int colon = url.indexOf(QLatin1Char(':'));
                const QString user = QString::fromUtf8(QUrl::toPercentEncoding(server.username));
                const QString pass = QString::fromUtf8(QUrl::toPercentEncoding(server.credential));
                const QByteArray turn = (url.left(colon) + QStringLiteral("://") + user + QLatin1Char(':') +
                                         pass + QLatin1Char('@') + url.mid(colon + 1))
                                            .toUtf8();
                gboolean added = FALSE;
                g_signal_emit_by_name(m_webrtc, "add-turn-server", turn.constData(), &added);
            }
        }
    }
    gst_bin_add(GST_BIN(m_pipeline), m_webrtc);
    limitIceAgent();
    JanusRtpSession::applyTo(m_pipeline);
    if (ice.simulateLink)
        SimulatedLink::applyTo(m_pipeline);

    g_signal_connect_data(m_webrtc, "on-ice-candidate", G_CALLBACK(onIceCandidate), new Link{m_gate, this},
                          deleteLink, GConnectFlags(0));
    g_signal_connect_data(m_webrtc, "notify::ice-gathering-state", G_CALLBACK(onGatheringState),
                          new Link{m_gate, this}, deleteLink, GConnectFlags(0));
    g_signal_connect_data(m_webrtc, "pad-added", G_CALLBACK(onPadAdded), new Link{m_gate, this}, deleteLink,
                          GConnectFlags(0));
    g_signal_connect_data(m_webrtc, "notify::ice-connection-state", G_CALLBACK(onIceConnectionState),
                          new Link{m_gate, this}, deleteLink, GConnectFlags(0));

    GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(m_pipeline));
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR &&
                !static_cast<Link*>(data)->peer->absorbsError(GST_MESSAGE_SRC(message))) {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                const QString text = QString::fromUtf8(error ? error->message : "unknown");
                const QString source = QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message)));
                g_clear_error(&error);
                auto* link = static_cast<Link*>(data);
                WebRtcPeer* peer = link->peer;
                link->gate->post([peer, text, source] {
                    emit peer->failed(QStringLiteral("media pipeline %1: %2: %3").arg(peer->m_name, source, text));
                });
            }
            gst_message_unref(message);
            return GST_BUS_DROP;
        },
        new Link{m_gate, this}, [](gpointer data) { delete static_cast<Link*>(data); });
    gst_object_unref(bus);
}

WebRtcPeer::~WebRtcPeer()
{
    stop();
    if (m_pipeline)
        gst_object_unref(m_pipeline);
}

void WebRtcPeer::stop()
{
    m_gate->close();
    if (m_pipeline && !m_stopped) {
        m_stopped = true;
        releaseRelays();
        // Waits for the streaming threads: none of them runs our code after.
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }
}

bool WebRtcPeer::play()
{
    if (!m_pipeline) {
        emit failed(
            QStringLiteral("GStreamer has no webrtcbin (gstreamer1.0-plugins-bad, gstreamer1.0-nice)"));
        return false;
    }
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        emit failed(QStringLiteral("media pipeline %1 cannot start").arg(m_name));
        return false;
    }
    return true;
}

bool WebRtcPeer::isIceAddressAllowed(const QString& address) const
{
    if (m_ice.network.isEmpty())
        return !address.endsWith(QLatin1String(".local")); // mDNS names resolve nowhere we control
    const QHostAddress host(address);
    return !host.isNull() && host.isInSubnet(QHostAddress::parseSubnet(m_ice.network));
}

void WebRtcPeer::limitIceAgent()
{
    GstWebRTCICE* ice = nullptr;
    g_object_get(m_webrtc, "ice-agent", &ice, nullptr);
    if (!ice)
        return;
    // TCP candidates would only add ways to reach addresses we do not use.
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "ice-tcp"))
        g_object_set(ice, "ice-tcp", FALSE, nullptr);
    NiceAgent* agent = nullptr;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent"))
        g_object_get(ice, "agent", &agent, nullptr);
    if (agent) {
        g_object_set(agent, "upnp", FALSE, nullptr);
        if (!m_ice.network.isEmpty()) {
            // With local addresses given, libnice gathers on those alone
            // instead of on every interface.
            const auto subnet = QHostAddress::parseSubnet(m_ice.network);
            QStringList addresses;
            for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
                if (!(interface.flags() & QNetworkInterface::IsUp))
                    continue;
                for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
                    if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                        entry.ip().isInSubnet(subnet))
                        addresses << entry.ip().toString();
                }
            }
            if (addresses.isEmpty() && QHostAddress(QHostAddress::LocalHost).isInSubnet(subnet))
                addresses << QStringLiteral("127.0.0.1");
            addresses.removeDuplicates();
            for (const QString& text : addresses) {
                NiceAddress address;
                nice_address_init(&address);
                if (nice_address_set_from_string(&address, text.toUtf8().constData()))
                    nice_agent_add_local_address(agent, &address);
            }
        }
        g_object_unref(agent);
    }
    gst_object_unref(ice);
}

void WebRtcPeer::releaseRelays()
{
    if (m_ice.servers.isEmpty())
        return;
    GstWebRTCICE* ice = nullptr;
    g_object_get(m_webrtc, "ice-agent", &ice, nullptr);
    NiceAgent* agent = nullptr;
    if (ice && g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent"))
        g_object_get(ice, "agent", &agent, nullptr);
    // webrtcbin drops its agent without giving back the TURN allocations,
    // which then hold relay ports and the participant's allocation quota
    // until they time out. The closing keeps the agent until the server
    // has answered.
    if (agent) {
        nice_agent_close_async(agent, nullptr, nullptr);
        g_object_unref(agent);
    }
    if (ice)
        gst_object_unref(ice);
}

void WebRtcPeer::onPromise(GstPromise* promise, void* data)
{
    auto* call = static_cast<PromiseCall*>(data);
    const GstStructure* reply = gst_promise_get_reply(promise);
    GstStructure* copy = reply ? gst_structure_copy(reply) : nullptr;
    auto fn = call->fn;
    call->gate->post([fn, copy] {
        fn(copy);
        if (copy)
            gst_structure_free(copy);
    });
    // A copy whose call never runs (gate closed) is lost with it: a small
    // leak at tear-down only, never a use after free.
}

void WebRtcPeer::call(const char* signal, void* arg, std::function<void(const GstStructure*)> fn)
{
    auto* data = new PromiseCall{m_gate, std::move(fn)};
    GstPromise* promise =
        gst_promise_new_with_change_func([](GstPromise* p, gpointer d) { onPromise(p, d); }, data,
                                         [](gpointer d) { delete static_cast<PromiseCall*>(d); });
    if (arg)
        g_signal_emit_by_name(m_webrtc, signal, arg, promise);
    else
        g_signal_emit_by_name(m_webrtc, signal, nullptr, promise);
    gst_promise_unref(promise);
}

void WebRtcPeer::createOffer()
{
    call("create-offer", nullptr, [this](const GstStructure* reply) { useLocal(reply, "offer"); });
}

void WebRtcPeer::useLocal(const GstStructure* reply, const char* type)
{
    GstWebRTCSessionDescription* description = nullptr;
    if (reply)
        gst_structure_get(reply, type, GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &description, nullptr);
    if (!description) {
        emit failed(QStringLiteral("media pipeline %1: no %2").arg(m_name, QLatin1String(type)));
        return;
    }
    gchar* text = gst_sdp_message_as_text(description->sdp);
    QString sdp = QString::fromUtf8(text);
    g_free(text);
    const bool restart = !m_restartCredentials.isEmpty();
    if (restart) {
        // webrtcbin kept the old credentials: the new ones go in the text,
        // and webrtcbin gives the agent what the local description says.
        sdp = IceRestart::withCredentials(sdp, std::exchange(m_restartCredentials, {}));
        GstSDPMessage* message = nullptr;
        gst_sdp_message_new(&message);
        const QByteArray bytes = sdp.toUtf8();
        gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(bytes.constData()), guint(bytes.size()),
                                     message);
        GstWebRTCSessionDescription* fresh = gst_webrtc_session_description_new(description->type, message);
        gst_webrtc_session_description_free(description);
        description = fresh;
    }
    g_signal_emit_by_name(m_webrtc, "set-local-description", description, nullptr);
    gst_webrtc_session_description_free(description);
    emit localDescription(QLatin1String(type), sdp);
    if (!restart)
        return;
    // The server's side of a restart forgot the candidates it was told.
    for (const QJsonObject& candidate : QVector<QJsonObject>(m_localCandidates))
        emit localCandidate(candidate);
    emit localCandidate(QJsonObject{{QStringLiteral("completed"), true}});
}

void WebRtcPeer::restartAgent()
{
    GstWebRTCICE* ice = nullptr;
    g_object_get(m_webrtc, "ice-agent", &ice, nullptr);
    if (!ice)
        return;
    NiceAgent* agent = nullptr;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent"))
        g_object_get(ice, "agent", &agent, nullptr);
    if (agent) {
        nice_agent_restart(agent);
        g_object_unref(agent);
    }
    gst_object_unref(ice);
    m_restartCredentials = IceRestart::freshCredentials();
}

void WebRtcPeer::restartIce()
{
    if (!m_webrtc || m_stopped)
        return;
    restartAgent();
    createOffer();
}

QString WebRtcPeer::filterSdp(const QString& sdp) const
{
    QStringList kept;
    for (const QString& line : sdp.split(QStringLiteral("\r\n"))) {
        if (line.startsWith(QLatin1String("a=candidate:")) &&
            !isIceAddressAllowed(candidateAddress(line.mid(2))))
            continue;
        kept << line;
    }
    return kept.join(QStringLiteral("\r\n"));
}

void WebRtcPeer::setRemote(const QString& type, const QString& sdp, bool thenAnswer)
{
    // The server's new credentials in an offer: it restarted ICE, and this
    // side restarts with it.
    const IceCredentials remote = IceRestart::credentialsOf(sdp);
    if (type == QLatin1String("offer") && !m_remoteCredentials.isEmpty() && remote != m_remoteCredentials)
        restartAgent();
    m_remoteCredentials = remote;
    GstSDPMessage* message = nullptr;
    gst_sdp_message_new(&message);
    const QByteArray text = filterSdp(sdp).toUtf8();
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.constData()), guint(text.size()),
                                     message) != GST_SDP_OK) {
        gst_sdp_message_free(message);
        emit failed(QStringLiteral("media server sent an unreadable session description"));
        return;
    }
    GstWebRTCSessionDescription* description = gst_webrtc_session_description_new(
        type == QLatin1String("offer") ? GST_WEBRTC_SDP_TYPE_OFFER : GST_WEBRTC_SDP_TYPE_ANSWER, message);
    call("set-remote-description", description, [this, thenAnswer](const GstStructure* reply) {
        GError* error = nullptr;
        if (reply && gst_structure_has_field(reply, "error")) {
            gst_structure_get(reply, "error", G_TYPE_ERROR, &error, nullptr);
            emit failed(
                QStringLiteral("media pipeline %1: %2")
                    .arg(m_name, QString::fromUtf8(error ? error->message : "remote description refused")));
            g_clear_error(&error);
            return;
        }
        if (!thenAnswer)
            return;
        call("create-answer", nullptr, [this](const GstStructure* answer) { useLocal(answer, "answer"); });
    });
    gst_webrtc_session_description_free(description);
}

void WebRtcPeer::acceptOffer(const QString& sdp)
{
    setRemote(QStringLiteral("offer"), sdp, true);
}

void WebRtcPeer::setAnswer(const QString& sdp)
{
    setRemote(QStringLiteral("answer"), sdp, false);
}

void WebRtcPeer::addRemoteCandidate(const QJsonObject& candidate)
{
    const QString text = candidate.value(QLatin1String("candidate")).toString();
    if (candidate.value(QLatin1String("completed")).toBool() || text.isEmpty())
        return;
    QString body = text.startsWith(QLatin1String("a=")) ? text.mid(2) : text;
    if (!isIceAddressAllowed(candidateAddress(body)))
        return;
    const int mline = candidate.value(QLatin1String("sdpMLineIndex")).toInt();
    g_signal_emit_by_name(m_webrtc, "add-ice-candidate", guint(mline), body.toUtf8().constData());
}

void WebRtcPeer::onIceCandidate(GstElement*, unsigned mline, char* candidate, void* data)
{
    auto* link = static_cast<Link*>(data);
    WebRtcPeer* peer = link->peer;
    const QString text = QString::fromUtf8(candidate);
    link->gate->post([peer, mline, text] {
        if (!peer->isIceAddressAllowed(candidateAddress(text)))
            return;
        const QJsonObject candidate{{QStringLiteral("candidate"), text},
                                    {QStringLiteral("sdpMLineIndex"), int(mline)}};
        peer->m_localCandidates << candidate;
        emit peer->localCandidate(candidate);
    });
}

void WebRtcPeer::onGatheringState(GstElement* webrtc, void*, void* data)
{
    GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
    g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
    if (state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
        return;
    auto* link = static_cast<Link*>(data);
    WebRtcPeer* peer = link->peer;
    link->gate->post([peer] { emit peer->localCandidate(QJsonObject()); });
}

void WebRtcPeer::onPadAdded(GstElement*, GstPad* pad, void* data)
{
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    WebRtcPeer* peer = static_cast<Link*>(data)->peer;
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer counter) -> GstPadProbeReturn {
            static_cast<std::shared_ptr<std::atomic<quint64>>*>(counter)->get()->fetch_add(1);
            return GST_PAD_PROBE_OK;
        },
        new std::shared_ptr<std::atomic<quint64>>(peer->m_received),
        [](gpointer counter) { delete static_cast<std::shared_ptr<std::atomic<quint64>>*>(counter); });
    peer->onIncomingPad(pad);
}

void WebRtcPeer::onIceConnectionState(GstElement* webrtc, void*, void* data)
{
    GstWebRTCICEConnectionState state = GST_WEBRTC_ICE_CONNECTION_STATE_NEW;
    g_object_get(webrtc, "ice-connection-state", &state, nullptr);
    if (state != GST_WEBRTC_ICE_CONNECTION_STATE_FAILED)
        return;
    auto* link = static_cast<Link*>(data);
    WebRtcPeer* peer = link->peer;
    link->gate->post([peer] { emit peer->iceFailed(); });
}

void WebRtcPeer::onIncomingPad(GstPad*) {}

void WebRtcPeer::refreshStats()
{
    if (!m_webrtc || m_stopped)
        return;
    call("get-stats", nullptr, [this](const GstStructure* reply) {
        if (reply)
            onStats(reply);
    });
}

void WebRtcPeer::onStats(const GstStructure* reply)
{
    double best = -1;
    QString localId, remoteId;
    QHash<QString, QString> candidateTypes;
    const int fields = gst_structure_n_fields(reply);
    for (int i = 0; i < fields; ++i) {
        const GValue* value = gst_structure_get_value(reply, gst_structure_nth_field_name(reply, i));
        if (!GST_VALUE_HOLDS_STRUCTURE(value))
            continue;
        const GstStructure* stat = gst_value_get_structure(value);
        onStatsEntry(stat);
        // webrtcbin reports the selected pair of each transport, and its two
        // candidates; with one bundled transport that is the media's path.
        GstWebRTCStatsType type = GST_WEBRTC_STATS_CODEC;
        if (gst_structure_get(stat, "type", GST_TYPE_WEBRTC_STATS_TYPE, &type, nullptr)) {
            if (type == GST_WEBRTC_STATS_CANDIDATE_PAIR && localId.isEmpty()) {
                localId = stringField(stat, "local-candidate-id");
                remoteId = stringField(stat, "remote-candidate-id");
            } else if (type == GST_WEBRTC_STATS_LOCAL_CANDIDATE || type == GST_WEBRTC_STATS_REMOTE_CANDIDATE) {
                candidateTypes.insert(stringField(stat, "id"), stringField(stat, "candidate-type"));
            }
        }
        double rtt = -1;
        if (gst_structure_get_double(stat, "round-trip-time", &rtt) && rtt > 0)
            best = best < 0 ? rtt : qMin(best, rtt);
    }
    if (best >= 0)
        m_rttMs = best * 1000.0;
    if (candidateTypes.contains(localId) && candidateTypes.contains(remoteId)) {
        m_localCandidateType = candidateTypes.value(localId);
        m_remoteCandidateType = candidateTypes.value(remoteId);
    }
    onStatsDone();
}

} // namespace talvora::media

