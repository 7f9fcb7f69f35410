#pragma once
// The device catalog and probe of the meeting engine, scripted: the
// devices a test lists, plugged in and out at its word, a camera that
// shows test frames, a microphone at a fixed level and a speaker that
// only counts its tones. GUI thread only; part of talvora_media_double.

#include "media/AudioProcessing.h"
#include "media/DeviceCatalog.h"

#include <QString>
#include <QUrl>
#include <QVector>

namespace talvora::media {

class DeviceDouble
{
public:
    // What every catalog lists from now on; the live ones report the change.
    static void setDevices(DeviceKind kind, const QVector<DeviceInfo>& devices);
    // Back to one device of each kind.
    static void reset();
    // The probe's doings: the devices it watched and played the tone on.
    static QString watchedCamera();
    static QString watchedMicrophone();
    // The voice processing the probe's meter was last told to read after.
    static AudioProcessing meterProcessing();
    static int tones();
    static QString lastToneSpeaker();
    // Test calls started and where to; each shows test frames both ways
    // and a 42 ms round trip at once, or fails with this reason when set.
    static int testCalls();
    static QUrl lastTestCallServer();
    static void failTestCalls(const QString& reason);
};

} // namespace talvora::media
