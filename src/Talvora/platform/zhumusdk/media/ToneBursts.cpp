#include <gst/audio/audio.h>
#include <gst/gst.h>

#include "ToneBursts.h"

namespace talvora::media {

void cutIntoBursts(GstElement* source)
{
    GstPad* pad = gst_element_get_static_pad(source, "src");
    if (!pad)
        return;
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad* pad, GstPadProbeInfo* info, gpointer) {
            GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
            GstCaps* caps = gst_pad_get_current_caps(pad);
            GstAudioInfo format;
            const bool known = caps && gst_audio_info_from_caps(&format, caps);
            if (caps)
                gst_caps_unref(caps);
            if (!known || !buffer || !GST_BUFFER_PTS_IS_VALID(buffer) || format.rate <= 0)
                return GST_PAD_PROBE_OK;
            GstElement* element = gst_pad_get_parent_element(pad);
            const GstClockTime base = element ? gst_element_get_base_time(element) : 0;
            if (element)
                gst_object_unref(element);
            buffer = gst_buffer_make_writable(buffer);
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
            GstMapInfo map;
            if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
                return GST_PAD_PROBE_OK;
            const gsize frames = map.size / gsize(format.bpf);
            const GstClockTime start = base + GST_BUFFER_PTS(buffer);
            for (gsize i = 0; i < frames; ++i) {
                const GstClockTime at = start + gst_util_uint64_scale(i, GST_SECOND, guint64(format.rate));
                if (at % GST_SECOND >= GstClockTime(kToneBurstNs))
                    gst_audio_format_info_fill_silence(format.finfo, map.data + i * gsize(format.bpf),
                                                       gsize(format.bpf));
            }
            gst_buffer_unmap(buffer, &map);
            return GST_PAD_PROBE_OK;
        },
        nullptr, nullptr);
    gst_object_unref(pad);
}

} // namespace talvora::media
