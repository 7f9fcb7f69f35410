#pragma once
// For tests only: the product never calls this.

namespace talvora::https::testing {

// Connect and whole-request time-outs, in milliseconds, of every request
// started from now on, so that a test of a silent service need not wait the
// product's 10 s and 30 s. A value of 0 or less restores the product's own.
void setTimeouts(long connectMs, long totalMs);

} // namespace talvora::https::testing
