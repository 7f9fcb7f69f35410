#pragma once
// The camera, microphone and speaker that GStreamer's device monitor finds
// (V4L2, PipeWire, PulseAudio): the chosen ones, or the system's default
// when the choice is empty or gone. Missing devices are normal: a machine
// without them still meets, listening only or with the initials disc.
//
// Threads: made and used on one thread.

#include "DeviceCatalog.h"

#include <QString>
#include <QVector>

#include <utility>

typedef struct _GstDevice GstDevice;
typedef struct _GstElement GstElement;

namespace talvora::media {

// Every device of a class that the providers list now, with the id and
// name the catalog shows; the caller unrefs the devices.
QVector<std::pair<DeviceInfo, GstDevice*>> probeDevices(DeviceKind kind);

class MediaDevices
{
public:
    // Asks the providers once; what is not asked for is not looked for, so
    // test media never touches the sound server or the cameras.
    MediaDevices(bool camera, bool microphone, bool speaker, const QString& cameraId = {},
                 const QString& microphoneId = {}, const QString& speakerId = {});
    ~MediaDevices();
    MediaDevices(const MediaDevices&) = delete;
    MediaDevices& operator=(const MediaDevices&) = delete;

    bool hasCamera() const { return m_camera != nullptr; }
    bool hasMicrophone() const { return m_microphone != nullptr; }
    bool hasSpeaker() const { return m_speaker != nullptr; }

    // Looks the devices of that kind up again and takes `id`, or the
    // default when it is not there. False when there is none at all.
    bool choose(DeviceKind kind, const QString& id);
    // Forgets the device of that kind (it went away and nothing replaces it).
    void drop(DeviceKind kind);
    // The id of the device in use, empty without one.
    QString currentId(DeviceKind kind) const;

    // New floating elements, or null without the device.
    GstElement* createCamera() const;
    GstElement* createMicrophone() const;
    GstElement* createSpeaker() const;

private:
    GstDevice*& slot(DeviceKind kind);

    GstDevice* m_camera = nullptr;
    GstDevice* m_microphone = nullptr;
    GstDevice* m_speaker = nullptr;
    QString m_ids[3];
};

} // namespace talvora::media
