#include <gst/gst.h>

#include "MediaDevices.h"

#include <QSet>

#include <initializer_list>

namespace talvora::media {
namespace {

const char* classesOf(DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::Camera:
        return "Video/Source";
    case DeviceKind::Microphone:
        return "Audio/Source";
    case DeviceKind::Speaker:
        break;
    }
    return "Audio/Sink";
}

QString stringProperty(GstStructure* properties, const char* key)
{
    const gchar* value = properties ? gst_structure_get_string(properties, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

// The system's own name for the device where it has one (the sound
// server's node, the camera's path), which outlives a replug; the shown
// name otherwise.
QString idOf(GstDevice* device, GstStructure* properties, const QString& name)
{
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name")) {
        gchar* internal = nullptr;
        g_object_get(device, "internal-name", &internal, nullptr);
        const QString id = QString::fromUtf8(internal ? internal : "");
        g_free(internal);
        if (!id.isEmpty())
            return id;
    }
    for (const char* key : {"node.name", "object.path", "api.v4l2.path", "device.path"}) {
        const QString id = stringProperty(properties, key);
        if (!id.isEmpty())
            return id;
    }
    return name;
}

GstElement* create(GstDevice* device)
{
    return device ? gst_device_create_element(device, nullptr) : nullptr;
}

} // namespace

QVector<std::pair<DeviceInfo, GstDevice*>> probeDevices(DeviceKind kind)
{
    gst_init(nullptr, nullptr);
    QVector<std::pair<DeviceInfo, GstDevice*>> found;
    // One monitor, started once for the whole process, answers every
    // listing: a monitor made, probed or stopped while another one watches
    // the sound server's provider (they share it) cost the watcher every
    // change after. Started, the provider also knows the server's default.
    static GstDeviceMonitor* const monitor = [] {
        GstDeviceMonitor* made = gst_device_monitor_new();
        for (const char* classes : {"Video/Source", "Audio/Source", "Audio/Sink"})
            gst_device_monitor_add_filter(made, classes, nullptr);
        gst_device_monitor_start(made);
        // Its bus is not read: what it would post is dropped.
        GstBus* bus = gst_device_monitor_get_bus(made);
        gst_bus_set_flushing(bus, TRUE);
        gst_object_unref(bus);
        return made;
    }();
    GList* devices = gst_device_monitor_get_devices(monitor);
    QSet<QString> ids;
    for (GList* item = devices; item; item = item->next) {
        auto* device = GST_DEVICE(item->data);
        if (!gst_device_has_classes(device, classesOf(kind)))
            continue;
        GstStructure* properties = gst_device_get_properties(device);
        // PulseAudio lists the monitors of its sinks as sources: they are
        // no microphone.
        const bool isMonitor = stringProperty(properties, "device.class") == QLatin1String("monitor");
        gchar* display = gst_device_get_display_name(device);
        const QString name = QString::fromUtf8(display ? display : "");
        g_free(display);
        QString id = idOf(device, properties, name);
        gboolean isDefault = FALSE;
        if (properties)
            gst_structure_get_boolean(properties, "is-default", &isDefault);
        if (properties)
            gst_structure_free(properties);
        if (isMonitor || ids.contains(id))
            continue;
        ids.insert(id);
        // The default first: the sound server's where it names one, else
        // the one the provider lists first.
        const std::pair<DeviceInfo, GstDevice*> entry{DeviceInfo{id, name.isEmpty() ? id : name},
                                                      GST_DEVICE(gst_object_ref(device))};
        if (isDefault)
            found.prepend(entry);
        else
            found.append(entry);
    }
    g_list_free_full(devices, gst_object_unref);
    return found;
}

MediaDevices::MediaDevices(bool camera, bool microphone, bool speaker, const QString& cameraId,
                           const QString& microphoneId, const QString& speakerId)
{
    if (camera)
        choose(DeviceKind::Camera, cameraId);
    if (microphone)
        choose(DeviceKind::Microphone, microphoneId);
    if (speaker)
        choose(DeviceKind::Speaker, speakerId);
}

MediaDevices::~MediaDevices()
{
    for (GstDevice* device : {m_camera, m_microphone, m_speaker}) {
        if (device)
            gst_object_unref(device);
    }
}

GstDevice*& MediaDevices::slot(DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::Camera:
        return m_camera;
    case DeviceKind::Microphone:
        return m_microphone;
    case DeviceKind::Speaker:
        break;
    }
    return m_speaker;
}

bool MediaDevices::choose(DeviceKind kind, const QString& id)
{
    GstDevice*& current = slot(kind);
    if (current)
        gst_object_unref(current);
    current = nullptr;
    m_ids[int(kind)].clear();
    const auto found = probeDevices(kind);
    for (const auto& [info, device] : found) {
        if (!current && (info.id == id || id.isEmpty())) {
            current = GST_DEVICE(gst_object_ref(device));
            m_ids[int(kind)] = info.id;
        }
    }
    if (!current && !found.isEmpty()) {
        current = GST_DEVICE(gst_object_ref(found.first().second));
        m_ids[int(kind)] = found.first().first.id;
    }
    for (const auto& entry : found)
        gst_object_unref(entry.second);
    return current != nullptr;
}

void MediaDevices::drop(DeviceKind kind)
{
    GstDevice*& current = slot(kind);
    if (current)
        gst_object_unref(current);
    current = nullptr;
    m_ids[int(kind)].clear();
}

QString MediaDevices::currentId(DeviceKind kind) const
{
    return m_ids[int(kind)];
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
