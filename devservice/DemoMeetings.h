#pragma once
// The meetings that a fresh store gives the demo account "demo", so that a
// newcomer signs in to a list with cards on two pages rather than an empty
// one.

#include "Store.h"

#include <ctime>
#include <vector>

namespace devservice {

// Six bookings for zcode, two on each of the three days after the day of
// now, at office hours of UTC+8 (the wall clock of the conferencing API),
// mixing video and voice meetings with Chinese topics.
std::vector<Meeting> demoMeetings(const std::string& zcode, std::time_t now);

} // namespace devservice
