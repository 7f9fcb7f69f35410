#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include "LatestFrame.h"

namespace talvora::media {
namespace {

QImage imageFromSample(GstSample* sample)
{
    GstVideoInfo info;
    if (!sample || !gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx)
        return {};
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ))
        return {};
    QImage copy = QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                         GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                         GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32)
                      .copy();
    gst_video_frame_unmap(&frame);
    return copy;
}

} // namespace

void watchAppSink(GstElement* appsink, std::function<void(QImage)> onImage)
{
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink* sink, gpointer data) {
        if (GstSample* sample = gst_app_sink_pull_sample(sink)) {
            QImage image = imageFromSample(sample);
            gst_sample_unref(sample);
            if (!image.isNull())
                (*static_cast<std::function<void(QImage)>*>(data))(std::move(image));
        }
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks,
                               new std::function<void(QImage)>(std::move(onImage)),
                               [](gpointer data) { delete static_cast<std::function<void(QImage)>*>(data); });
}

} // namespace talvora::media
