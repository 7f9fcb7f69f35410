#include "Routes.h"

namespace devservice {

void registerCloudRoutes(httplib::Server&, Store&) {}

} // namespace devservice
