// The local development service: HTTPS on loopback with a development CA,
// SQLite storage, the conferencing REST API, the cloud sign-in and the
// conferencing SDK's endpoints.
//
//   devservice [--port N] [--data FILE] [--certs DIR] [--no-demo-data] [--hold ROUTE=MS[+SKIP]]...
//              [--media-server WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY]...
//              [--media-interface LIST] [--janus-ports WS,ADMIN] [--rtp-ports MIN-MAX] [--room-linger S]
//   devservice --init-certs [--certs DIR]

#include "DevCerts.h"
#include "GuardedServer.h"
#include "Holds.h"
#include "JanusAdmin.h"
#include "JanusProcess.h"
#include "MediaRooms.h"
#include "Routes.h"
#include "ServerSetup.h"
#include "Store.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kListenAddress = "127.0.0.1";

struct Options
{
    int port = TALVORA_DEV_PORT;
    std::string dataFile = "devservice.db";
    std::string certDirectory = TALVORA_DEV_CERT_DIR;
    bool initCertsOnly = false;
    devservice::Holds holds;
    bool demoMeetings = true; // seeded into a new data file
    // External media servers; none: a Janus of the service's own.
    std::vector<devservice::JanusEndpoint> mediaServers;
    devservice::JanusSettings janus;
    long roomLingerSeconds = devservice::kDefaultRoomLinger.count();
};

constexpr auto kJanusReady = std::chrono::seconds(15);

void printUsage(FILE* to)
{
    std::fprintf(to,
                 "usage: devservice [--port N] [--data FILE] [--certs DIR] [--no-demo-data]\n"
                 "                  [--hold ROUTE=MS[+SKIP]]...\n"
                 "                  [--media-server WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY]...\n"
                 "                  [--media-interface LIST] [--janus-ports WS,ADMIN] [--rtp-ports MIN-MAX]\n"
                 "                  [--room-linger SECONDS]\n"
                 "       devservice --init-certs [--certs DIR]\n"
                 "Serves the Talvora conferencing, cloud and SDK endpoints over HTTPS on %s.\n"
                 "A new data file gets the demo accounts and, unless --no-demo-data, six\n"
                 "meetings of the account demo over the next three days.\n"
                 "--hold makes requests to ROUTE wait MS milliseconds before they are served\n"
                 "(after the first SKIP), to play a slow service in tests.\n"
                 "Meetings run on a Janus that the service starts (configuration and log in\n"
                 "the folder FILE.janus beside the data file), with its WebSocket and admin API\n"
                 "on %s ports WS and ADMIN (default: free ones), RTP on MIN-MAX and ICE on\n"
                 "the interfaces of --media-interface (comma-separated; default: Janus's\n"
                 "choice), or on the external Janus instances named by --media-server.\n"
                 "An empty room is destroyed after --room-linger seconds.\n"
                 "Defaults: --port %d --data devservice.db --certs %s\n"
                 "          --rtp-ports 20000-20199 --room-linger 60\n",
                 kListenAddress, kListenAddress, TALVORA_DEV_PORT, TALVORA_DEV_CERT_DIR);
}

bool parsePort(const char* text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

// Exit status 2 for a bad command line, as usual for tools.
bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--init-certs") {
            options.initCertsOnly = true;
        } else if (arg == "--no-demo-data") {
            options.demoMeetings = false;
        } else if (arg == "--port" && hasValue) {
            if (!parsePort(argv[++i], options.port)) {
                std::fprintf(stderr, "devservice: --port needs a number from 1 to 65535\n");
                return false;
            }
        } else if (arg == "--data" && hasValue) {
            options.dataFile = argv[++i];
        } else if (arg == "--certs" && hasValue) {
            options.certDirectory = argv[++i];
        } else if (arg == "--hold" && hasValue) {
            if (!options.holds.add(argv[++i])) {
                std::fprintf(stderr, "devservice: --hold needs ROUTE=MILLISECONDS[+SKIP]\n");
                return false;
            }
        } else if (arg == "--media-server" && hasValue) {
            devservice::JanusEndpoint endpoint;
            if (!devservice::parseJanusEndpoint(argv[++i], endpoint)) {
                std::fprintf(
                    stderr,
                    "devservice: --media-server needs WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY\n");
                return false;
            }
            options.mediaServers.push_back(endpoint);
        } else if (arg == "--media-interface" && hasValue) {
            options.janus.iceInterfaces = argv[++i];
            if (options.janus.iceInterfaces.empty() ||
                options.janus.iceInterfaces.find_first_not_of(
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                    "0123456789_.:,-") != std::string::npos) {
                std::fprintf(stderr,
                             "devservice: --media-interface needs interface names, comma-separated\n");
                return false;
            }
        } else if (arg == "--janus-ports" && hasValue) {
            const std::string ports = argv[++i];
            const size_t comma = ports.find(',');
            if (comma == std::string::npos ||
                !parsePort(ports.substr(0, comma).c_str(), options.janus.clientPort) ||
                !parsePort(ports.substr(comma + 1).c_str(), options.janus.adminPort) ||
                options.janus.clientPort == options.janus.adminPort) {
                std::fprintf(stderr, "devservice: --janus-ports needs two different ports, WS,ADMIN\n");
                return false;
            }
        } else if (arg == "--rtp-ports" && hasValue) {
            if (!devservice::parsePortRange(argv[++i], options.janus.rtpMin, options.janus.rtpMax)) {
                std::fprintf(stderr, "devservice: --rtp-ports needs MIN-MAX within 1024-65535\n");
                return false;
            }
        } else if (arg == "--room-linger" && hasValue) {
            char* end = nullptr;
            options.roomLingerSeconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || options.roomLingerSeconds < 0 ||
                options.roomLingerSeconds > 86400) {
                std::fprintf(stderr, "devservice: --room-linger needs seconds from 0 to 86400\n");
                return false;
            }
        } else if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "devservice: unknown or incomplete option %s\n", arg.c_str());
            printUsage(stderr);
            return false;
        }
    }
    return true;
}

// Guards stdout: the server logs from its worker threads.
std::mutex g_logMutex;

void logLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options))
        return 2;

    devservice::DevCerts certs;
    try {
        certs = devservice::ensureDevCerts(options.certDirectory);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "devservice: %s\n", error.what());
        return 1;
    }
    if (options.initCertsOnly) {
        std::printf("Development CA: %s\n", certs.caFile.c_str());
        return 0;
    }

    // SIGINT and SIGTERM are taken by one waiting thread rather than a
    // handler, because stopping the server is not async-signal-safe. The mask
    // is set before any thread starts, so every worker inherits it.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<devservice::Store> store;
    try {
        store = std::make_unique<devservice::Store>(options.dataFile, options.demoMeetings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "devservice: %s\n", error.what());
        return 1;
    }

    // The media servers: those named, or a Janus of the service's own in the
    // data file's folder.
    std::unique_ptr<devservice::JanusProcess> janus;
    std::vector<std::shared_ptr<devservice::RoomServer>> mediaServers;
    for (const devservice::JanusEndpoint& endpoint : options.mediaServers)
        mediaServers.push_back(std::make_shared<devservice::JanusAdmin>(endpoint));
    if (mediaServers.empty()) {
        // Beside the data file and named after it, so that services with
        // data files in one folder keep their Janus apart.
        options.janus.folder = options.dataFile + ".janus";
        if (options.janus.folder.front() != '/') {
            if (char* cwd = getcwd(nullptr, 0)) {
                options.janus.folder = std::string(cwd) + "/" + options.janus.folder;
                std::free(cwd);
            }
        }
        janus = std::make_unique<devservice::JanusProcess>(options.janus, logLine);
        janus->start(kJanusReady);
        mediaServers.push_back(std::make_shared<devservice::JanusAdmin>(janus->endpoint()));
    }
    auto rooms = std::make_unique<devservice::MediaRooms>(
        mediaServers, std::chrono::seconds(options.roomLingerSeconds), logLine);

    devservice::GuardedServer server(certs.serverCert, certs.serverKey);
    if (!server.is_valid()) {
        std::fprintf(stderr, "devservice: cannot load %s and its key\n", certs.serverCert.c_str());
        return 1;
    }
    devservice::configureServer(server, logLine);
    if (!options.holds.empty()) {
        server.set_pre_routing_handler([&options](const httplib::Request& request, httplib::Response&) {
            options.holds.wait(request.path);
            return httplib::Server::HandlerResponse::Unhandled;
        });
    }
    const auto health = [](const httplib::Request&, httplib::Response& response) {
        response.set_content("{\"status\":\"ok\"}", "application/json");
    };
    server.Get("/health", health);
    server.Post("/health", health);
    devservice::registerConferenceRoutes(server, *store);
    devservice::registerCloudRoutes(server, *store);
    devservice::registerSdkRoutes(server, *store, *rooms);

    if (!server.bind_to_port(kListenAddress, options.port)) {
        std::fprintf(stderr, "devservice: cannot listen on %s:%d (in use?)\n", kListenAddress, options.port);
        return 1;
    }

    std::atomic<bool> listenerDone{false};
    std::thread stopper([&server, &listenerDone, &options, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        logLine(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
        options.holds.release();
        // A signal right after start-up may come before the listener runs,
        // and stop() only reaches a running listener.
        while (!listenerDone && !server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        server.stop();
    });

    logLine("devservice listening on https://" + std::string(kListenAddress) + ":" +
            std::to_string(options.port) + " (data " + options.dataFile + ", CA " + certs.caFile + ")");
    const bool listened = server.listen_after_bind();
    listenerDone = true;
    if (!listened) {
        // The listener failed on its own; wake the stopper so it can be joined.
        pthread_kill(stopper.native_handle(), SIGTERM);
    }
    stopper.join();
    rooms.reset(); // its rooms go while their server still runs
    if (janus)
        janus->stop();
    logLine("devservice stopped");
    return listened ? 0 : 1;
}
