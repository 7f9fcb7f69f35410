#include <gst/gst.h>

#include "DeviceWatch.h"

namespace talvora::media {

QString deviceName(GstDevice* device)
{
    if (!device)
        return {};
    gchar* name = gst_device_get_display_name(device);
    const QString text = QString::fromUtf8(name ? name : "");
    g_free(name);
    return text;
}

bool isSpeakerMonitor(GstDevice* device)
{
    GstStructure* properties = gst_device_get_properties(device);
    const gchar* deviceClass = properties ? gst_structure_get_string(properties, "device.class") : nullptr;
    const bool monitor = deviceClass && g_str_equal(deviceClass, "monitor");
    if (properties)
        gst_structure_free(properties);
    return monitor;
}

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent)
{
    m_monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(m_monitor, "Audio/Source", nullptr);
    gst_device_monitor_add_filter(m_monitor, "Audio/Sink", nullptr);
    if (!gst_device_monitor_start(m_monitor)) {
        gst_object_unref(m_monitor);
        m_monitor = nullptr;
        return;
    }
    // The devices there at the start come as "added" messages too.
    GstBus* bus = gst_device_monitor_get_bus(m_monitor);
    gst_bus_set_flushing(bus, TRUE);
    gst_bus_set_flushing(bus, FALSE);
    gst_object_unref(bus);
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatch::poll);
    m_timer.start(500);
}

DeviceWatch::~DeviceWatch()
{
    if (m_monitor) {
        gst_device_monitor_stop(m_monitor);
        gst_object_unref(m_monitor);
    }
}

void DeviceWatch::poll()
{
    GstBus* bus = gst_device_monitor_get_bus(m_monitor);
    while (GstMessage* message = gst_bus_pop(bus)) {
        GstDevice* device = nullptr;
        const bool added = GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED;
        if (added)
            gst_message_parse_device_added(message, &device);
        else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED)
            gst_message_parse_device_removed(message, &device);
        if (device && !isSpeakerMonitor(device)) {
            const bool source = gst_device_has_classes(device, "Audio/Source");
            const QString name = deviceName(device);
            if (added) {
                GstElement* element = gst_device_create_element(device, nullptr);
                if (element)
                    emit source ? microphoneAdded(name, element) : speakerAdded(name, element);
            } else {
                emit source ? microphoneRemoved(name) : speakerRemoved(name);
            }
        }
        if (device)
            gst_object_unref(device);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
}

} // namespace talvora::media
