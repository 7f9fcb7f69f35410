// What a receiver measures, and the devices on a machine that may have none.

#include "MediaDevices.h"
#include "SubscriberPipeline.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cmath>

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
