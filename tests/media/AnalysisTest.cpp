// What a receiver measures, and the devices on a machine that may have none:
// the settings' probe of them too.

#include "DeviceProbe.h"
#include "MediaDevices.h"
#include "SubscriberPipeline.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace talvora::media;

TEST(Analysis, FindsTheDominantFrequencyOfATone)
{
    for (double hz : {220.0, 440.0, 660.0, 1000.0, 3150.0}) {
        std::vector<float> samples(8192);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] =
                float(0.1 * std::sin(2 * M_PI * hz * double(i) / 48000) + 0.01 * std::sin(double(i)));
        EXPECT_NEAR(dominantFrequency(samples, 48000), hz, 3) << hz;
    }
    EXPECT_EQ(dominantFrequency(std::vector<float>(8192, 0.0f), 48000), 0);
    EXPECT_EQ(dominantFrequency({}, 48000), 0);
}

TEST(Devices, MissingDevicesGiveNoElements)
{
    gst_init(nullptr, nullptr);
    const MediaDevices devices(true, true, true);
    GstElement* camera = devices.createCamera();
    EXPECT_EQ(devices.hasCamera(), camera != nullptr);
    if (camera)
        gst_object_unref(gst_object_ref_sink(camera));
    const MediaDevices none(false, false, false);
    EXPECT_FALSE(none.hasCamera() || none.hasMicrophone() || none.hasSpeaker());
    EXPECT_EQ(none.createSpeaker(), nullptr);
}

namespace {

// Runs the Qt event loop until done() or the time is up.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

TEST(Devices, ProbeShowsTestMediaAndCopesWithoutDevices)
{
    int argc = 1;
    char name[] = "media_unit_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    DeviceProbe probe(true);
    AudioProcessing plain; // what the meter reads is then the source's own
    plain.echoCancellation = plain.autoGain = false;
    plain.noiseSuppression = NoiseSuppression::Off;
    probe.setAudioProcessing(plain);
    QImage frame;
    double level = -200;
    int tones = 0;
    QObject::connect(&probe, &DeviceProbe::cameraFrame, [&frame](const QImage& image) { frame = image; });
    QObject::connect(&probe, &DeviceProbe::microphoneLevel, [&level](double dbfs) { level = dbfs; });
    QObject::connect(&probe, &DeviceProbe::toneFinished, [&tones] { ++tones; });
    ASSERT_TRUE(probe.watchCamera(QStringLiteral("test")));
    ASSERT_TRUE(probe.watchMicrophone(QStringLiteral("test")));
    EXPECT_TRUE(waitFor([&] { return !frame.isNull() && level > -100; }, 5000));
    EXPECT_EQ(frame.size(), QSize(320, 180));
    EXPECT_NEAR(level, -20, 1.5); // the test tone's peak

    // The meter reads after the voice processing, and follows its changes:
    // steady noise reads lower with suppression at its highest. Medians of
    // the peaks over a second, after a second for the suppressor to learn
    // the noise.
    std::vector<double> peaks;
    QObject::connect(&probe, &DeviceProbe::microphoneLevel, [&peaks](double dbfs) { peaks.push_back(dbfs); });
    const auto steadyLevel = [&] {
        waitFor([] { return false; }, 1000);
        peaks.clear();
        waitFor([&] { return peaks.size() >= 10; }, 3000);
        std::sort(peaks.begin(), peaks.end());
        return peaks.empty() ? 0.0 : peaks[peaks.size() / 2];
    };
    ASSERT_TRUE(probe.watchMicrophone(QStringLiteral("test-noise")));
    const double unsuppressed = steadyLevel();
    AudioProcessing suppressing = plain;
    suppressing.noiseSuppression = NoiseSuppression::High;
    suppressing.echoCancellation = true; // against the tone's probe: nothing to take away here
    probe.setAudioProcessing(suppressing);
    const double suppressed = steadyLevel();
    std::printf("meter on steady noise: %.1f dBFS unsuppressed, %.1f dBFS at high\n", unsuppressed, suppressed);
    EXPECT_LT(unsuppressed, -15);
    EXPECT_LT(suppressed, unsuppressed - 6);
    // A tone while the meter listens passes the echo probe on the meter's
    // clock, and still ends after its second.
    QElapsedTimer toneClock;
    toneClock.start();
    ASSERT_TRUE(probe.playTone(QStringLiteral("no-such-speaker")));
    EXPECT_TRUE(waitFor([&] { return tones == 1; }, 5000));
    EXPECT_GE(toneClock.elapsed(), 900);
    probe.stopWatching();

    // Devices that are not there (or a machine with none): nothing shown,
    // nothing blocks, and a tone on no speaker still ends.
    DeviceProbe real(false);
    QObject::connect(&real, &DeviceProbe::toneFinished, [&tones] { ++tones; });
    const bool camera = real.watchCamera(QStringLiteral("no-such-camera"));
    EXPECT_EQ(camera, MediaDevices(true, false, false).hasCamera());
    real.stopWatching();
    ASSERT_TRUE(real.playTone(QStringLiteral("no-such-speaker")));
    EXPECT_TRUE(waitFor([&] { return tones == 2; }, 5000));

    DeviceCatalog catalog(true);
    ASSERT_EQ(catalog.devices(DeviceKind::Camera).size(), 1);
    EXPECT_EQ(catalog.devices(DeviceKind::Microphone).first().name, QStringLiteral("测试麦克风"));
    // The machine's own, watched: what the one-off probe finds, in the same order.
    DeviceCatalog watched(false);
    const QVector<DeviceInfo> cameras = watched.devices(DeviceKind::Camera);
    EXPECT_EQ(cameras.isEmpty(), !MediaDevices(true, false, false).hasCamera());
    if (!cameras.isEmpty())
        EXPECT_EQ(MediaDevices(true, false, false).currentId(DeviceKind::Camera), cameras.first().id);
}
