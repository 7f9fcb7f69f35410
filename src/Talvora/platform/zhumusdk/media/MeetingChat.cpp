// GStreamer's headers come before Qt's: GLib names a struct member
// "signals", which Qt's keyword macro would rewrite.
#include <gst/gst.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include "MeetingChat.h"

#include "JanusSession.h"
#include "WebRtcPeer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <functional>
#include <utility>
#include <vector>

namespace talvora::media {
namespace {

const QString kTextRoom = QStringLiteral("janus.plugin.textroom");
// A channel message larger than this is not one of TextRoom's.
constexpr int kMaxDataBytes = 64 * 1024;

QString randomHex(int bytes)
{
    QString text;
    for (int i = 0; i < bytes; ++i)
        text += QStringLiteral("%1").arg(QRandomGenerator::global()->bounded(256), 2, 16, QLatin1Char('0'));
    return text;
}

} // namespace

// A peer connection that carries data channels only. Janus offers; the
// answer's channel, and any Janus opens, deliver TextRoom's JSON texts.
class ChatPeer : public WebRtcPeer
{
public:
    struct Callbacks
    {
        std::function<void()> opened;
        std::function<void(const QByteArray&)> data;
    };

    ChatPeer(const IcePolicy& ice, Callbacks callbacks, QObject* parent)
        : WebRtcPeer(QStringLiteral("chat"), ice, 0, parent), m_callbacks(std::move(callbacks))
    {
        if (webrtc())
            g_signal_connect_data(
                webrtc(), "on-data-channel", G_CALLBACK(onDataChannel), new Link{gate(), this},
                [](gpointer data, GClosure*) { delete static_cast<Link*>(data); }, GConnectFlags(0));
        // The channel this side opens: created before the answer is set, it
        // opens as soon as the association is up.
        connect(this, &WebRtcPeer::localDescription, this, [this] {
            if (!m_ownChannel && webrtc()) {
                // Janus's name for a client's channel: its replies, sent
                // without a label, then use this one instead of opening
                // their own.
                g_signal_emit_by_name(webrtc(), "create-data-channel", "JanusDataChannel", nullptr,
                                      &m_ownChannel);
                if (m_ownChannel) {
                    listen(m_ownChannel, gate(), this);
                    watch(m_ownChannel);
                }
            }
        });
    }

    ~ChatPeer() override
    {
        stop();
        for (GstWebRTCDataChannel* channel : m_channels)
            gst_object_unref(channel);
    }

    bool start() { return play(); }

    // False while no channel is open.
    bool sendText(const QString& text)
    {
        for (GstWebRTCDataChannel* channel : m_channels) {
            GstWebRTCDataChannelState state = GST_WEBRTC_DATA_CHANNEL_STATE_CLOSED;
            g_object_get(channel, "ready-state", &state, nullptr);
            if (state == GST_WEBRTC_DATA_CHANNEL_STATE_OPEN) {
                const QByteArray utf8 = text.toUtf8();
                g_signal_emit_by_name(channel, "send-string", utf8.constData());
                return true;
            }
        }
        return false;
    }

private:
    struct Link
    {
        GatePtr gate;
        ChatPeer* peer;
    };

    static void onDataChannel(GstElement*, GstWebRTCDataChannel* channel, gpointer data)
    {
        auto* link = static_cast<Link*>(data);
        ChatPeer* peer = link->peer;
        gst_object_ref(channel);
        // At once, on this thread: its first message may follow right away.
        listen(channel, link->gate, peer);
        link->gate->post([peer, channel] { peer->watch(channel); });
    }

    // Any thread: the texts and the opening of channel reach the owner.
    static void listen(GstWebRTCDataChannel* channel, const GatePtr& gate, ChatPeer* peer)
    {
        auto freeLink = [](gpointer data, GClosure*) { delete static_cast<Link*>(data); };
        g_signal_connect_data(channel, "on-message-string",
                              G_CALLBACK(+[](GstWebRTCDataChannel*, gchar* text, gpointer data) {
                                  auto* link = static_cast<Link*>(data);
                                  ChatPeer* peer = link->peer;
                                  const QByteArray bytes(text ? text : "");
                                  if (bytes.size() > kMaxDataBytes)
                                      return;
                                  link->gate->post([peer, bytes] {
                                      if (peer->m_callbacks.data)
                                          peer->m_callbacks.data(bytes);
                                  });
                              }),
                              new Link{gate, peer}, freeLink, GConnectFlags(0));
        g_signal_connect_data(channel, "on-open", G_CALLBACK(+[](GstWebRTCDataChannel*, gpointer data) {
                                  auto* link = static_cast<Link*>(data);
                                  ChatPeer* peer = link->peer;
                                  link->gate->post([peer] {
                                      if (peer->m_callbacks.opened)
                                          peer->m_callbacks.opened();
                                  });
                              }),
                              new Link{gate, peer}, freeLink, GConnectFlags(0));
    }

    // Owner's thread; takes the caller's reference to channel.
    void watch(GstWebRTCDataChannel* channel)
    {
        m_channels.push_back(channel);
        GstWebRTCDataChannelState state = GST_WEBRTC_DATA_CHANNEL_STATE_CLOSED;
        g_object_get(channel, "ready-state", &state, nullptr);
        if (state == GST_WEBRTC_DATA_CHANNEL_STATE_OPEN && m_callbacks.opened)
            m_callbacks.opened();
    }

    Callbacks m_callbacks;
    GstWebRTCDataChannel* m_ownChannel = nullptr; // also in m_channels
    std::vector<GstWebRTCDataChannel*> m_channels;
};

MeetingChat::MeetingChat(JanusSession* session, const Admission& admission, const IcePolicy& ice,
                         QObject* parent)
    : QObject(parent), m_session(session), m_admission(admission)
{
    qRegisterMetaType<talvora::media::ChatMessage>();
    // Unique in the room; the display name goes with it so that a message
    // from the history, whose sender has left, still has a name.
    m_username = randomHex(8) + QLatin1Char(':') + admission.displayName;
    ChatPeer::Callbacks callbacks;
    callbacks.opened = [this] { onChannelOpen(); };
    callbacks.data = [this](const QByteArray& json) { onData(json); };
    m_peer = new ChatPeer(ice, callbacks, this);
    connect(m_peer, &WebRtcPeer::failed, this, [this](const QString& reason) { giveUp(reason); });
    connect(m_peer, &WebRtcPeer::localCandidate, this, [this](const QJsonObject& candidate) {
        if (m_handle != 0)
            m_session->trickle(m_handle, candidate);
    });
    connect(m_peer, &WebRtcPeer::localDescription, this, [this](const QString& type, const QString& sdp) {
        m_session->message(m_handle, QJsonObject{{QStringLiteral("request"), QStringLiteral("ack")}},
                           QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("sdp"), sdp}},
                           [this](bool ok, const QJsonObject&, const QJsonObject&, const QString& error) {
                               if (!ok)
                                   giveUp(error);
                           });
    });
    connect(m_session, &JanusSession::remoteCandidate, this,
            [this](qint64 handle, const QJsonObject& candidate) {
                if (handle == m_handle && m_handle != 0 && m_peer)
                    m_peer->addRemoteCandidate(candidate);
            });
    connect(m_session, &JanusSession::hangup, this, [this](qint64 handle, const QString& reason) {
        if (handle == m_handle && m_handle != 0)
            giveUp(QStringLiteral("chat hung up: %1").arg(reason));
    });
}

MeetingChat::~MeetingChat()
{
    stop();
}

void MeetingChat::start()
{
    if (m_stopped || !m_peer || !m_peer->start())
        return;
    m_session->attach(
        kTextRoom,
        [this](qint64 handle) {
            if (m_stopped) {
                m_session->detach(handle);
                return;
            }
            m_handle = handle;
            m_session->message(
                handle, QJsonObject{{QStringLiteral("request"), QStringLiteral("setup")}}, {},
                [this](bool ok, const QJsonObject&, const QJsonObject& jsep, const QString& error) {
                    if (!ok || jsep.value(QLatin1String("type")).toString() != QLatin1String("offer")) {
                        giveUp(ok ? QStringLiteral("chat: no offer") : error);
                        return;
                    }
                    if (m_peer)
                        m_peer->acceptOffer(jsep.value(QLatin1String("sdp")).toString());
                });
        },
        [this](const QString& reason) { giveUp(reason); });
}

void MeetingChat::onChannelOpen()
{
    if (m_joining || m_joined || m_stopped)
        return;
    m_joining = true;
    m_joinTransaction = randomHex(8);
    QJsonObject join{{QStringLiteral("textroom"), QStringLiteral("join")},
                     {QStringLiteral("transaction"), m_joinTransaction},
                     {QStringLiteral("room"), m_admission.room},
                     {QStringLiteral("username"), m_username},
                     {QStringLiteral("display"), m_admission.displayName},
                     {QStringLiteral("history"), true}};
    if (!m_admission.pin.isEmpty())
        join.insert(QStringLiteral("pin"), m_admission.pin);
    if (!m_peer || !m_peer->sendText(QString::fromUtf8(QJsonDocument(join).toJson(QJsonDocument::Compact)))) {
        m_joining = false; // another channel's opening tries again
    }
}

bool MeetingChat::send(const QString& text)
{
    if (m_stopped || text.trimmed().isEmpty() || text.size() > kMaxChatChars)
        return false;
    if (!m_joined) {
        m_queued << text;
        return true;
    }
    sendRequest(QJsonObject{{QStringLiteral("textroom"), QStringLiteral("message")},
                            {QStringLiteral("room"), m_admission.room},
                            {QStringLiteral("text"), text},
                            {QStringLiteral("ack"), false}});
    return true;
}

void MeetingChat::sendRequest(QJsonObject request)
{
    request.insert(QStringLiteral("transaction"), randomHex(8));
    if (m_peer)
        m_peer->sendText(QString::fromUtf8(QJsonDocument(request).toJson(QJsonDocument::Compact)));
}

QString MeetingChat::senderName(const QString& username) const
{
    const auto known = m_displayNames.constFind(username);
    if (known != m_displayNames.constEnd() && !known->isEmpty())
        return *known;
    const int colon = username.indexOf(QLatin1Char(':'));
    return colon >= 0 ? username.mid(colon + 1) : username;
}

void MeetingChat::onData(const QByteArray& json)
{
    const QJsonObject message = QJsonDocument::fromJson(json).object();
    const QString kind = message.value(QLatin1String("textroom")).toString();
    if (kind == QLatin1String("success") &&
        message.value(QLatin1String("transaction")).toString() == m_joinTransaction && !m_joined) {
        for (const QJsonValue& value : message.value(QLatin1String("participants")).toArray()) {
            const QJsonObject entry = value.toObject();
            m_displayNames.insert(entry.value(QLatin1String("username")).toString(),
                                  entry.value(QLatin1String("display")).toString());
        }
        m_joined = true;
        m_joining = false;
        emit ready();
        const QStringList queued = std::exchange(m_queued, {});
        for (const QString& text : queued)
            send(text);
    } else if (kind == QLatin1String("error") &&
               message.value(QLatin1String("transaction")).toString() == m_joinTransaction) {
        giveUp(QStringLiteral("chat: %1").arg(message.value(QLatin1String("error")).toString()));
    } else if (kind == QLatin1String("join")) {
        m_displayNames.insert(message.value(QLatin1String("username")).toString(),
                              message.value(QLatin1String("display")).toString());
    } else if (kind == QLatin1String("message")) {
        const QJsonValue text = message.value(QLatin1String("text"));
        if (!text.isString() || message.value(QLatin1String("whisper")).toBool())
            return;
        ChatMessage chat;
        const QString from = message.value(QLatin1String("from")).toString();
        chat.sender = senderName(from);
        chat.self = from == m_username;
        // Janus writes "2026-12-07T17:30:00+0000".
        QString date = message.value(QLatin1String("date")).toString();
        if (date.size() > 5 &&
            (date.at(date.size() - 5) == QLatin1Char('+') || date.at(date.size() - 5) == QLatin1Char('-')))
            date.insert(date.size() - 2, QLatin1Char(':'));
        chat.time = QDateTime::fromString(date, Qt::ISODate);
        chat.time = chat.time.isValid() ? chat.time.toLocalTime() : QDateTime::currentDateTime();
        chat.text = text.toString().left(kMaxChatChars);
        emit received(chat);
    } else if (kind == QLatin1String("announcement")) {
        const QJsonValue text = message.value(QLatin1String("text"));
        if (text.isString())
            emit announcement(text.toString());
    } else if (kind == QLatin1String("destroyed")) {
        giveUp(QStringLiteral("chat room closed"));
    }
}

void MeetingChat::giveUp(const QString& reason)
{
    if (m_stopped)
        return;
    qWarning("chat: %s", qPrintable(reason));
    stop();
    emit unavailable(reason);
}

void MeetingChat::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_queued.clear();
    if (m_peer) {
        m_peer->disconnect(this);
        m_peer->stop();
        m_peer->deleteLater();
        m_peer = nullptr;
    }
    if (m_handle != 0 && m_session && m_session->isOpen())
        m_session->detach(m_handle);
    m_handle = 0;
}

} // namespace talvora::media
