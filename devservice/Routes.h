#pragma once
// The routes of the development service, one function per area. Each
// function adds its handlers to the server; main.cpp calls all three.

namespace httplib {
class Server;
}

namespace devservice {

class MediaRooms;
class Store;

// /v3/meeting/create|update|delete|list, /v3/user/get|update
void registerConferenceRoutes(httplib::Server& server, Store& store);
// /oauth/token, /api/route/vas/zhumu/userInfo/get
void registerCloudRoutes(httplib::Server& server, Store& store);
// /sdk/v1/auth, /sdk/v1/login, /sdk/v1/meetings/start|join|leave|end
void registerSdkRoutes(httplib::Server& server, Store& store, MediaRooms& rooms);

} // namespace devservice
