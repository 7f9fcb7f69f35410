#pragma once
// The camera, microphone and speaker that GStreamer's device monitor finds
// (V4L2, PipeWire, PulseAudio). Missing devices are normal: a machine
// without them still meets, listening only or with the initials disc.
//
// Threads: made and used on one thread.

typedef struct _GstDevice GstDevice;
typedef struct _GstElement GstElement;

#include <QString>

namespace talvora::media {

class MediaDevices
{
public:
    // Asks the providers once; what is not asked for is not looked for, so
    // test media never touches the sound server or the cameras.
    MediaDevices(bool camera, bool microphone, bool speaker);
    ~MediaDevices();
    MediaDevices(const MediaDevices&) = delete;
    MediaDevices& operator=(const MediaDevices&) = delete;

    bool hasCamera() const { return m_camera != nullptr; }
    bool hasMicrophone() const { return m_microphone != nullptr; }
    bool hasSpeaker() const { return m_speaker != nullptr; }

    // The display names of the devices, empty without.
    QString microphoneName() const;
    QString speakerName() const;

    // New floating elements, or null without the device.
    GstElement* createCamera() const;
    GstElement* createMicrophone() const;
    GstElement* createSpeaker() const;

private:
    GstDevice* m_camera = nullptr;
    GstDevice* m_microphone = nullptr;
    GstDevice* m_speaker = nullptr;
};

} // namespace talvora::media
