#include <gst/gst.h>

#include "MediaDevices.h"

#include "DeviceWatch.h"

#include <initializer_list>

namespace talvora::media {
namespace {

GstDevice* firstDevice(const char* classes)
{
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, classes, nullptr);
    // Started, the providers learn the sound server's defaults too (probed
    // once they cannot tell them); stopped again right after the listing.
    const bool started = gst_device_monitor_start(monitor);
    GList* devices = gst_device_monitor_get_devices(monitor);
    if (started)
        gst_device_monitor_stop(monitor);
    GstDevice* found = nullptr;
    for (GList* item = devices; item; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        // PulseAudio lists the monitors of its sinks as sources: they are
        // no microphone.
        GstStructure* properties = gst_device_get_properties(device);
        const gchar* deviceClass =
            properties ? gst_structure_get_string(properties, "device.class") : nullptr;
        const bool isMonitor = deviceClass && g_str_equal(deviceClass, "monitor");
        if (properties)
            gst_structure_free(properties);
        // The sound server's default first, else the first one listed.
        gboolean isDefault = FALSE;
        properties = gst_device_get_properties(device);
        if (properties)
            gst_structure_get_boolean(properties, "is-default", &isDefault);
        if (properties)
            gst_structure_free(properties);
        if (!isMonitor && (!found || isDefault)) {
            if (found)
                gst_object_unref(found);
            found = GST_DEVICE(gst_object_ref(device));
            if (isDefault)
                break;
        }
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return found;
}

GstElement* create(GstDevice* device)
{
    return device ? gst_device_create_element(device, nullptr) : nullptr;
}

} // namespace

MediaDevices::MediaDevices(bool camera, bool microphone, bool speaker)
{
    if (camera)
        m_camera = firstDevice("Video/Source");
    if (microphone)
        m_microphone = firstDevice("Audio/Source");
    if (speaker)
        m_speaker = firstDevice("Audio/Sink");
}

MediaDevices::~MediaDevices()
{
    for (GstDevice* device : {m_camera, m_microphone, m_speaker}) {
        if (device)
            gst_object_unref(device);
    }
}

GstElement* MediaDevices::createCamera() const
{
    return create(m_camera);
}

GstElement* MediaDevices::createMicrophone() const
{
    return create(m_microphone);
}

GstElement* MediaDevices::createSpeaker() const
{
    return create(m_speaker);
}

} // namespace talvora::media

namespace talvora::media {

QString MediaDevices::microphoneName() const
{
    return deviceName(m_microphone);
}

QString MediaDevices::speakerName() const
{
    return deviceName(m_speaker);
}

} // namespace talvora::media
