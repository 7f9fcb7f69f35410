#pragma once
// How a peer connection's RTP session must talk to Janus for Janus to act
// on its RTCP, and for its retransmissions to get through.
//
// Janus files each compound RTCP packet from a subscriber under one of the
// connection's streams: the one the packet's first report block names, or
// else the media source of its first feedback message. A subscription's
// audio and video share one RTP session (the bundle), and what that
// session sent did not name the video first:
//   - its reports list their report blocks in no fixed order, and the
//     audio's often came first;
//   - a request sent early carries a report without blocks, and its first
//     feedback was often a FIR, whose header names no source (RFC 5104
//     leaves that field 0 and puts the source in the message body), or a
//     NACK for the audio, which Janus never retransmits (Opus's in-band
//     FEC and concealment cover its losses).
// Janus dropped the requests filed under the audio, or under no stream: at
// 5 % loss 37 of 40 NACKs went unanswered and the picture froze until the
// sender's next scheduled key frame. Janus's VideoRoom, moreover, passes a
// subscriber's PLI on to the publisher but not its FIR, which is what
// GStreamer's RTP session sends for a depayloader's key-frame request once
// FIR was negotiated.
//
// reorder() makes such a packet name the video first, and ask for key
// frames in a way Janus passes on: NACKs for audio leave it, a FIR becomes
// a PLI for the same source, and the report block of the source the
// requests ask about, or else of the video, moves to the front. applyTo()
// does so for every packet a pipeline sends, has full reports sent often
// enough for Janus to know the round trip, without which it keeps nothing
// to retransmit, and lets Janus's retransmissions in from their first
// packet.

#include <cstdint>
#include <functional>

typedef struct _GstBuffer GstBuffer;
typedef struct _GstElement GstElement;

namespace talvora::media {

class JanusRtpSession
{
public:
    struct Source
    {
        int clockRate = 0; // 0: unknown
        uint64_t packetsReceived = 0;
    };
    using Lookup = std::function<Source(uint32_t ssrc)>;

    // True when it changed the buffer, which must be writable. Video is
    // what runs on a 90 kHz clock; of several such sources (the picture
    // and its retransmissions) the one with the most packets is the
    // picture.
    static bool reorder(GstBuffer* compound, const Lookup& lookup);

    // Reorders every compound packet that the RTP session of a webrtcbin
    // inside `pipeline` sends, from the moment the session is made, has it
    // send a full report every half second, and accept a new source
    // without probation.
    static void applyTo(GstElement* pipeline);
};

} // namespace talvora::media
