#pragma once
// A screen or window captured by ximagesrc and offered to Janus as one VP8
// video stream on a webrtcbin of its own: at most 1920 x 1080 (scaled down
// keeping the aspect ratio), 5 to 15 frames a second, and VP8 set for
// screen content (unchanged blocks skipped, key frames every few seconds so
// that a late viewer starts soon).
//
// Threads: the owner's thread.

#include "MeetingEngine.h"
#include "WebRtcPeer.h"

namespace talvora::media {

// ximagesrc ! ... ! rtp caps: the description of the capture branch, also
// used by the benchmark. width/height 0: the source's own size, capped.
QString shareBranchDescription(const ShareSource& source, int width, int height, int ssrc);
// The source size scaled down to fit 1920 x 1080, aspect kept, even.
QSize shareSize(const QSize& source);

class SharePipeline : public WebRtcPeer
{
    Q_OBJECT

public:
    SharePipeline(const ShareSource& source, const IcePolicy& ice, QObject* parent = nullptr);
    ~SharePipeline() override;

    // Builds the capture branch, plays, and offers once the encoder has
    // set its caps. False (failed() emitted) when it cannot.
    bool start();

private:
    ShareSource m_source;
    GstPad* m_input = nullptr; // webrtcbin's sink pad, held by the pipeline
};

} // namespace talvora::media
