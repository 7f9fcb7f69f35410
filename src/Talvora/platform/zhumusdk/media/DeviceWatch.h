#pragma once
// Watches the sound server's microphones and speakers while a meeting runs,
// so that the engine learns when the one in use goes away and when one
// comes back. Monitors of speakers are no microphones and are not reported.
//
// Threads: made and used on one thread with a Qt event loop; the monitor's
// bus is read there, every half second.

#include <QObject>
#include <QTimer>

typedef struct _GstDeviceMonitor GstDeviceMonitor;
typedef struct _GstDevice GstDevice;
typedef struct _GstElement GstElement;

namespace talvora::media {

class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QObject* parent = nullptr);
    ~DeviceWatch() override;

signals:
    // name: the device's display name. added: a new floating source or sink
    // element for it, which the receiver takes (or frees).
    void microphoneRemoved(const QString& name);
    void speakerRemoved(const QString& name);
    void microphoneAdded(const QString& name, GstElement* element);
    void speakerAdded(const QString& name, GstElement* element);

private:
    void poll();

    GstDeviceMonitor* m_monitor = nullptr;
    QTimer m_timer;
};

// The display name a device monitor gives the device, empty for none.
QString deviceName(GstDevice* device);
// True for the monitor of a speaker, which sound servers list as a source.
bool isSpeakerMonitor(GstDevice* device);

} // namespace talvora::media
