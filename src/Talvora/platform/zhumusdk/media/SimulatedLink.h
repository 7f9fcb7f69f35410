#pragma once
// Benchmarks only: a bad network where the kernel has none to offer (no
// netem). What a peer connection sends and receives, encrypted, between
// its RTP stack and its ICE agent, is dropped at random and held back a
// fixed time each way, as a lossy link with delay would.
//
// The delay matters for more than realism: Janus keeps packets for
// retransmission only once it has measured a round trip of a millisecond
// or more, so on a bare loopback it retransmits nothing.

typedef struct _GstElement GstElement;

namespace talvora::media {

class SimulatedLink
{
public:
    // The share of packets dropped each way, from now on (any thread).
    static void setLoss(double share);
    // The time every packet is held back each way; set before the peers
    // are made.
    static void setDelay(int milliseconds);

    // Drops and delays what passes the ICE elements webrtcbin makes inside
    // `pipeline`.
    static void applyTo(GstElement* pipeline);
};

} // namespace talvora::media
