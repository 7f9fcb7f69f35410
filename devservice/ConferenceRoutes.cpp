#include "Routes.h"

namespace devservice {

void registerConferenceRoutes(httplib::Server&, Store&) {}

} // namespace devservice
