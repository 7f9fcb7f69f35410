#include <gst/gst.h>
#define GST_USE_UNSTABLE_API
#include <gst/webrtc/webrtc.h>

#include "SharePipeline.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSize>
#include <QTimer>

#include <memory>

namespace talvora::media {
namespace {

constexpr int kPayload = 96;
constexpr int kMaxWidth = 1920;
constexpr int kMaxHeight = 1080;

} // namespace

QSize shareSize(const QSize& source)
{
    if (source.isEmpty())
        return {};
    QSize size = source;
    if (size.width() > kMaxWidth || size.height() > kMaxHeight)
        size = source.scaled(kMaxWidth, kMaxHeight, Qt::KeepAspectRatio);
    // I420 wants even sides.
    return {qMax(16, size.width() & ~1), qMax(16, size.height() & ~1)};
}

QString shareBranchDescription(const ShareSource& source, int width, int height, int ssrc)
{
    QString capture = QStringLiteral("ximagesrc use-damage=false show-pointer=true");
    if (source.window != 0) {
        capture += QStringLiteral(" xid=%1").arg(source.window);
    } else if (!source.area.isEmpty()) {
        // endx/endy are the last pixel, inclusive.
        capture += QStringLiteral(" startx=%1 starty=%2 endx=%3 endy=%4")
                       .arg(source.area.left())
                       .arg(source.area.top())
                       .arg(source.area.right())
                       .arg(source.area.bottom());
    }
    const int fps = qBound(5, source.fps, 15);
    // A window's size is known only once captured: videoscale then picks
    // the largest size within the bounds that keeps its aspect.
    const QString size = width > 0 && height > 0
                             ? QStringLiteral("width=%1,height=%2").arg(width).arg(height)
                             : QStringLiteral("width=[16,%1],height=[16,%2]").arg(kMaxWidth).arg(kMaxHeight);
    // Screen content: most blocks do not change between frames, and
    // static-threshold lets the encoder skip them (the cheapest part of the
    // budget); text wants a lower quantizer than a camera does. The frame
    // rate is asked of ximagesrc itself, so frames that would be dropped
    // are never grabbed; videorate keeps it when the server is slow. Scaling
    // happens in BGRx, before the one conversion to I420. The leaky queue
    // drops a frame rather than delay the next when the encoder lags. One
    // encoder thread: at 1920 x 1080, 10 fps, a second one took the encoder
    // from 12 % to 28 % of a core, in waiting.
    return QStringLiteral(
               "%1 ! video/x-raw,framerate=%2/1 ! videorate drop-only=true ! video/x-raw,framerate=%2/1 ! "
               "queue max-size-buffers=2 leaky=downstream ! videoscale ! "
               "video/x-raw,%3,pixel-aspect-ratio=1/1 ! videoconvert ! video/x-raw,format=I420 ! "
               "vp8enc name=venc deadline=1 cpu-used=16 static-threshold=100 end-usage=cbr "
               "target-bitrate=2500000 undershoot=95 buffer-size=1000 buffer-initial-size=500 "
               "buffer-optimal-size=600 error-resilient=default keyframe-max-dist=%4 lag-in-frames=0 "
               "threads=1 min-quantizer=4 max-quantizer=50 ! "
               "rtpvp8pay pt=%5 ssrc=%6 picture-id-mode=15-bit mtu=1200 ! "
               "capsfilter caps=\"application/x-rtp,media=video,encoding-name=VP8,payload=%5,"
               "clock-rate=90000,ssrc=(uint)%6\"")
        .arg(capture)
        .arg(fps)
        .arg(size)
        .arg(fps * 3)
        .arg(kPayload)
        .arg(ssrc);
}

SharePipeline::SharePipeline(const ShareSource& source, const IcePolicy& ice, QObject* parent)
    : WebRtcPeer(QStringLiteral("share"), ice, 0, parent), m_source(source)
{
}

SharePipeline::~SharePipeline()
{
    stop();
}

bool SharePipeline::start()
{
    if (!pipeline() || !webrtc())
        return play(); // reports the missing plugins
    const QSize size = shareSize(m_source.window ? QSize() : m_source.area.size());
    // Fixed in the caps so that the offer names it before the first packet.
    const int ssrc = int(QRandomGenerator::global()->bounded(1u, 0x7fffffffu));
    GError* error = nullptr;
    GstElement* branch = gst_parse_bin_from_description(
        shareBranchDescription(m_source, size.width(), size.height(), ssrc).toUtf8().constData(), TRUE,
        &error);
    if (!branch) {
        emit failed(QStringLiteral("cannot capture the screen: %1")
                        .arg(QString::fromUtf8(error ? error->message : "no ximagesrc")));
        g_clear_error(&error);
        return false;
    }
    gst_bin_add(GST_BIN(pipeline()), branch);
    GstPad* src = gst_element_get_static_pad(branch, "src");
    m_input = gst_element_request_pad_simple(webrtc(), "sink_%u");
    const bool linked = src && m_input && gst_pad_link(src, m_input) == GST_PAD_LINK_OK;
    if (src)
        gst_object_unref(src);
    if (m_input) {
        GstWebRTCRTPTransceiver* transceiver = nullptr;
        g_object_get(m_input, "transceiver", &transceiver, nullptr);
        if (transceiver) {
            g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY, "do-nack",
                         TRUE, nullptr);
            gst_object_unref(transceiver);
        }
        gst_object_unref(m_input); // webrtcbin keeps it as long as the pipeline lives
    }
    if (!linked) {
        emit failed(QStringLiteral("cannot link the screen capture"));
        return false;
    }
    if (!play())
        return false;
    // The offer waits for the encoder's caps (its first frame), as the
    // camera's does, for at most a second.
    auto* poll = new QTimer(this);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    connect(poll, &QTimer::timeout, this, [this, poll, started] {
        if (!gst_pad_has_current_caps(m_input) && started->elapsed() < 1000)
            return;
        poll->stop();
        poll->deleteLater();
        createOffer();
    });
    poll->start(10);
    return true;
}

} // namespace talvora::media
