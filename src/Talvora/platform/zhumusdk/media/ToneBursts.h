#pragma once
// A test tone cut into bursts on the system clock, for measuring the delay
// from microphone to receiver: sound only in the first 200 ms of each second
// of CLOCK_MONOTONIC (the clock GStreamer's system clock reads), silence in
// between. A receiver on the same machine that notes when a burst starts,
// on the same clock, then has the delay as that time within its second.

typedef struct _GstElement GstElement;

namespace talvora::media {

constexpr long long kToneBurstNs = 200000000;

// Silences what the live audio source `source` makes outside the bursts.
void cutIntoBursts(GstElement* source);

} // namespace talvora::media
