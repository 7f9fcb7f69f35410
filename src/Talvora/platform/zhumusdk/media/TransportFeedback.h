#pragma once
// Transport-wide congestion control feedback on the publisher's link, as
// GStreamer's RTP session sums it up. The payloaders number every packet of
// the bundle (the TWCC header extension, which Janus's VideoRoom negotiates
// by default) and Janus answers several times a second with when each one
// arrived; the RTP session turns that into its "twcc-stats": the rates sent
// and received over the last window, the share lost and the mean change of
// the packets' spacing on the way (delay growing: a queue filling up).
//
// Threads: made, read and destroyed on the owner's thread; the RTP
// session's notification runs on a streaming thread and reaches the owner
// through the gate only.

#include "ThreadGate.h"

#include <functional>

typedef struct _GstElement GstElement;
typedef struct _GstStructure GstStructure;
typedef struct _GObject GObject;

namespace talvora::media {

struct TwccReport
{
    double sentKbps = 0;
    double receivedKbps = 0;
    double lossPercent = 0;
    // Mean growth of the gap between packets on arrival against their gap
    // on departure, ms: above zero, a queue on the way is filling up.
    double delayGrowthMs = 0;
    int packetsSent = 0;
};

class TransportFeedback
{
public:
    // Numbers the packets a payloader makes, with one extension id for the
    // whole bundle.
    static void addExtension(GstElement* payloader);
    // A report from a "twcc-stats" structure; false when it holds no window.
    static bool parse(const GstStructure* stats, TwccReport& report);

    TransportFeedback(const GatePtr& gate, std::function<void(const TwccReport&)> onReport);
    ~TransportFeedback();
    TransportFeedback(const TransportFeedback&) = delete;
    TransportFeedback& operator=(const TransportFeedback&) = delete;

    // Looks for webrtcbin's RTP session (there once the offer is answered);
    // true once it listens to it.
    bool attach(GstElement* webrtc);
    bool attached() const { return m_session != nullptr; }

private:
    struct Link;
    GatePtr m_gate;
    std::function<void(const TwccReport&)> m_onReport;
    GObject* m_session = nullptr;
    unsigned long m_handler = 0;
};

} // namespace talvora::media
