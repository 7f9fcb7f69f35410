#pragma once
// One webrtcbin in a pipeline of its own, and what every peer connection to
// Janus shares: the offer/answer steps, trickled candidates, the ICE rules
// and the statistics. PublisherPipeline and SubscriberPipeline add their
// media branches.
//
// ICE rules: only Admission's STUN/TURN servers are ever named. When
// `network` is set (loopback meetings: 127.0.0.0/8), the ICE agent gathers
// on local addresses inside it only, local candidates outside it are never
// signalled, and remote candidates outside it are ignored, so no packet goes
// to any other address.
//
// Threads: the owner's thread, except where a member says otherwise.
// webrtcbin's callbacks reach the owner through the ThreadGate only.

#include "Admission.h"
#include "IceRestart.h"
#include "ThreadGate.h"

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstPromise GstPromise;
typedef struct _GstMessage GstMessage;
typedef struct _GstStructure GstStructure;
typedef struct _GstObject GstObject;

namespace talvora::media {

struct IcePolicy
{
    QVector<IceServer> servers;
    QString network; // "address/prefix"; empty: any
    // Benchmarks only: the peer connections drop and delay what they send
    // and receive (SimulatedLink), as a bad network would where the kernel
    // has no netem to do it.
    bool simulateLink = false;
};

class WebRtcPeer : public QObject
{
    Q_OBJECT

public:
    WebRtcPeer(const QString& name, const IcePolicy& ice, int latencyMs, QObject* parent = nullptr);
    ~WebRtcPeer() override; // stops the pipeline: no callback runs afterwards

    // Publisher: offers what its branches send.
    void createOffer();
    // Subscriber: answers Janus's offer.
    void acceptOffer(const QString& sdp);
    void setAnswer(const QString& sdp);
    // A trickled candidate from Janus, {"candidate", "sdpMLineIndex"} or
    // {"completed": true}.
    void addRemoteCandidate(const QJsonObject& candidate);
    // Publisher: restarts ICE on this peer connection and offers again with
    // new credentials (IceRestart). A subscriber restarts when the server's
    // new offer (acceptOffer()) changes the credentials.
    void restartIce();

    // Round trip from RTCP, ms, or -1; refreshed by refreshStats().
    double rttMs() const { return m_rttMs; }
    int latencyMs() const { return m_latencyMs; }
    void refreshStats();
    // The candidate types ("host", "srflx", "prflx", "relay") of the pair
    // ICE selected, local and remote; empty until known. Refreshed by
    // refreshStats().
    QString localCandidateType() const { return m_localCandidateType; }
    QString remoteCandidateType() const { return m_remoteCandidateType; }

    bool isIceAddressAllowed(const QString& address) const;
    // RTP and RTCP packets that came in so far (any thread): whether the
    // other side is still heard.
    quint64 packetsReceived() const { return m_received ? m_received->load() : 0; }
    // Stops the pipeline for good (NULL state): no callback runs after it.
    // Subclasses call it first in their destructors.
    void stop();

signals:
    void localDescription(const QString& type, const QString& sdp);
    // Empty: gathering has ended.
    void localCandidate(const QJsonObject& candidate);
    void failed(const QString& reason);
    // ICE gave up on every candidate pair: the peer connection is dead.
    void iceFailed();

protected:
    // False with failed() emitted when the pipeline cannot play.
    bool play();
    // Subclasses build their branches between the constructor and play().
    GstElement* pipeline() const { return m_pipeline; }
    GstElement* webrtc() const { return m_webrtc; }
    const GatePtr& gate() const { return m_gate; }
    // Streaming thread: branch's sound into speaker (null: no speaker could
    // be made, and a sink that keeps the stream flowing takes its place),
    // which it returns.
    GstElement* playOut(GstElement* branch, GstElement* speaker);
    // Streaming thread: a new stream from the remote side.
    virtual void onIncomingPad(GstPad* pad);
    // Any thread: true when an error of `source` is the subclass's to
    // handle (a device that went away) rather than the end of the pipeline.
    virtual bool absorbsError(GstObject* source)
    {
        (void)source;
        return false;
    }
    // Owner's thread: one entry of a get-stats reply, for subclasses.
    virtual void onStatsEntry(const struct _GstStructure* stat) { (void)stat; }
    // Owner's thread: after the last entry of a reply.
    virtual void onStatsDone() {}

private:
    static void onIceCandidate(GstElement*, unsigned mline, char* candidate, void* link);
    static void onGatheringState(GstElement*, void*, void* link);
    static void onPadAdded(GstElement*, GstPad* pad, void* link);
    static void onIceConnectionState(GstElement*, void*, void* link);
    static void onPromise(GstPromise* promise, void* call);
    // webrtcbin's signals and promises run fn(reply) on the owner's thread.
    void call(const char* signal, void* arg, std::function<void(const struct _GstStructure*)> fn);
    void limitIceAgent();
    // Gives the TURN allocations back (asynchronously) before the agent goes.
    void releaseRelays();
    // Sets the offer or answer in a create-offer/-answer reply as the local
    // description and hands it on.
    void useLocal(const struct _GstStructure* reply, const char* type);
    void setRemote(const QString& type, const QString& sdp, bool thenAnswer);
    QString filterSdp(const QString& sdp) const;
    void restartAgent();
    void onStats(const struct _GstStructure* reply);

    QString m_name;
    IcePolicy m_ice;
    int m_latencyMs;
    GstElement* m_pipeline = nullptr;
    GstElement* m_webrtc = nullptr;
    GatePtr m_gate;
    double m_rttMs = -1;
    QString m_localCandidateType;
    QString m_remoteCandidateType;
    bool m_stopped = false;
    // Set: the next local description carries these (an ICE restart).
    IceCredentials m_restartCredentials;
    IceCredentials m_remoteCredentials;
    // Signalled so far: told again after a restart.
    QVector<QJsonObject> m_localCandidates;
    std::shared_ptr<std::atomic<quint64>> m_received = std::make_shared<std::atomic<quint64>>(0);
};

} // namespace talvora::media
