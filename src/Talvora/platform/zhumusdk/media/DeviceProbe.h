#pragma once
// What the settings dialog shows of the chosen devices before a meeting: a
// small live camera picture, the microphone's level, and a short tone on
// the speaker. Each runs a small pipeline of its own; a device that is
// missing or busy just shows nothing. The level is read after the voice
// processing a meeting would apply, so the meter shows what the others
// would hear: the test tone is cancelled as a meeting's speaker would be.
//
// Threads: the owner's thread, which runs a Qt event loop; the signals are
// emitted there.

#include "AudioProcessing.h"
#include "DeviceCatalog.h"

#include <QImage>
#include <QObject>

#include <memory>

namespace talvora::media {

class DeviceProbe : public QObject
{
    Q_OBJECT

public:
    explicit DeviceProbe(bool testMedia, QObject* parent = nullptr);
    ~DeviceProbe() override; // stops every pipeline

    // Starts watching that device in place of the one before; empty id:
    // the default one. Returns false when it cannot be opened. With test
    // media the microphone "test" is a sine at -20 dBFS and "test-noise"
    // steady pink noise.
    bool watchCamera(const QString& id);
    bool watchMicrophone(const QString& id);
    void stopWatching();
    // The processing the level is read after (a meeting's defaults until
    // set); a change applies at once to the microphone being watched.
    void setAudioProcessing(const AudioProcessing& processing);
    // About a second of a 660 Hz tone on that speaker.
    bool playTone(const QString& id);

signals:
    void cameraFrame(const QImage& image);
    // Peak level of the last 100 ms, dBFS (-100 for silence).
    void microphoneLevel(double dbfs);
    void toneFinished();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace talvora::media
