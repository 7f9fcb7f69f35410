#include <gst/gst.h>

#include "DeviceCatalog.h"

#include "MediaDevices.h"

#include <QTimer>

namespace talvora::media {
namespace {

const QString kTestDeviceId = QStringLiteral("test");
const QString kTestCameraName = QStringLiteral("测试摄像头");
const QString kTestMicrophoneName = QStringLiteral("测试麦克风");

} // namespace

class DeviceCatalog::Private
{
public:
    bool testMedia = false;
    GstDeviceMonitor* monitor = nullptr;
    bool started = false;
    QTimer poll;
};

DeviceCatalog::DeviceCatalog(bool testMedia, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    qRegisterMetaType<talvora::media::DeviceKind>();
    gst_init(nullptr, nullptr);
    d->testMedia = testMedia;
    d->monitor = gst_device_monitor_new();
    if (!testMedia) {
        gst_device_monitor_add_filter(d->monitor, "Video/Source", nullptr);
        gst_device_monitor_add_filter(d->monitor, "Audio/Source", nullptr);
    }
    gst_device_monitor_add_filter(d->monitor, "Audio/Sink", nullptr);
    // The monitor's bus is not on any main loop: its messages come to the
    // sync handler on the providers' threads and cross over by the gate.
    // Read on this thread, every half second: the sound server's provider
    // was seen to hand a bus's synchronous handler its additions but never
    // its removals.
    if (!gst_device_monitor_start(d->monitor))
        return;
    // What was there at the start is no change.
    GstBus* bus = gst_device_monitor_get_bus(d->monitor);
    gst_bus_set_flushing(bus, TRUE);
    gst_bus_set_flushing(bus, FALSE);
    gst_object_unref(bus);
    d->started = true;
    connect(&d->poll, &QTimer::timeout, this, [this] {
        GstBus* bus = gst_device_monitor_get_bus(d->monitor);
        bool kinds[3] = {};
        while (GstMessage* message = gst_bus_pop(bus)) {
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            GstDevice* device = nullptr;
            if (type == GST_MESSAGE_DEVICE_ADDED)
                gst_message_parse_device_added(message, &device);
            else if (type == GST_MESSAGE_DEVICE_REMOVED)
                gst_message_parse_device_removed(message, &device);
            if (device) {
                DeviceKind kind = DeviceKind::Speaker;
                if (gst_device_has_classes(device, "Video/Source"))
                    kind = DeviceKind::Camera;
                else if (gst_device_has_classes(device, "Audio/Source"))
                    kind = DeviceKind::Microphone;
                kinds[int(kind)] = true;
                gst_object_unref(device);
            }
            gst_message_unref(message);
        }
        gst_object_unref(bus);
        for (int kind = 0; kind < 3; ++kind) {
            if (kinds[kind])
                emit changed(DeviceKind(kind));
        }
    });
    d->poll.start(500);
}

DeviceCatalog::~DeviceCatalog()
{
    if (d->started)
        gst_device_monitor_stop(d->monitor);
    gst_object_unref(d->monitor);
}

QVector<DeviceInfo> DeviceCatalog::devices(DeviceKind kind) const
{
    if (d->testMedia && kind != DeviceKind::Speaker)
        return {
            DeviceInfo{kTestDeviceId, kind == DeviceKind::Camera ? kTestCameraName : kTestMicrophoneName}};
    QVector<DeviceInfo> list;
    for (const auto& [info, device] : probeDevices(kind)) {
        list << info;
        gst_object_unref(device);
    }
    return list;
}

} // namespace talvora::media
