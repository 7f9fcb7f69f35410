#include "Routes.h"

namespace devservice {

void registerSdkRoutes(httplib::Server&, Store&) {}

} // namespace devservice
