#include <gst/gst.h>

#include "DeviceCatalog.h"

#include "MediaDevices.h"
#include "ThreadGate.h"

namespace talvora::media {
namespace {

const QString kTestDeviceId = QStringLiteral("test");
const QString kTestCameraName = QStringLiteral("测试摄像头");
const QString kTestMicrophoneName = QStringLiteral("测试麦克风");

struct Link
{
    GatePtr gate;
    DeviceCatalog* self;
};

} // namespace

class DeviceCatalog::Private
{
public:
    bool testMedia = false;
    GstDeviceMonitor* monitor = nullptr;
    GatePtr gate;
};

DeviceCatalog::DeviceCatalog(bool testMedia, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    qRegisterMetaType<talvora::media::DeviceKind>();
    gst_init(nullptr, nullptr);
    d->testMedia = testMedia;
    d->gate = std::make_shared<ThreadGate>(this);
    d->monitor = gst_device_monitor_new();
    if (!testMedia) {
        gst_device_monitor_add_filter(d->monitor, "Video/Source", nullptr);
        gst_device_monitor_add_filter(d->monitor, "Audio/Source", nullptr);
    }
    gst_device_monitor_add_filter(d->monitor, "Audio/Sink", nullptr);
    // The monitor's bus is not on any main loop: its messages come to the
    // sync handler on the providers' threads and cross over by the gate.
    GstBus* bus = gst_device_monitor_get_bus(d->monitor);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED) {
                GstDevice* device = nullptr;
                if (type == GST_MESSAGE_DEVICE_ADDED)
                    gst_message_parse_device_added(message, &device);
                else
                    gst_message_parse_device_removed(message, &device);
                DeviceKind kind = DeviceKind::Speaker;
                if (device && gst_device_has_classes(device, "Video/Source"))
                    kind = DeviceKind::Camera;
                else if (device && gst_device_has_classes(device, "Audio/Source"))
                    kind = DeviceKind::Microphone;
                if (device)
                    gst_object_unref(device);
                auto* link = static_cast<Link*>(data);
                DeviceCatalog* self = link->self;
                link->gate->post([self, kind] { emit self->changed(kind); });
            }
            gst_message_unref(message);
            return GST_BUS_DROP;
        },
        new Link{d->gate, this}, [](gpointer data) { delete static_cast<Link*>(data); });
    gst_object_unref(bus);
    // Without providers (no sound server, no cameras) it does not start;
    // the lists are then what one probe finds.
    gst_device_monitor_start(d->monitor);
}

DeviceCatalog::~DeviceCatalog()
{
    d->gate->close();
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
