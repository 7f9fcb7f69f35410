// The local development service: HTTPS on loopback with a development CA,
// SQLite storage, the conferencing REST API, the cloud sign-in and the
// conferencing SDK's endpoints.
//
//   devservice [--port N] [--data FILE] [--certs DIR] [--no-demo-data] [--hold ROUTE=MS[+SKIP]]...
//              [--media-server WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY]...
//              [--media-interface LIST] [--janus-ports WS,ADMIN] [--rtp-ports MIN-MAX] [--room-linger S]
//              [--janus-instances N] [--turn [--turn-address IPV4] | --turn-server URL,SECRET]
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
#include "Turn.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
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
    int janusInstances = 1;
    bool ownTurn = false; // a coturn of the service's own
    std::string turnAddress = "127.0.0.1";
    std::optional<devservice::TurnServer> turnServer;
};

constexpr int kMaxJanusInstances = 8;
constexpr int kTurnRelayPorts = 500;

constexpr auto kJanusReady = std::chrono::seconds(15);

void printUsage(FILE* to)
{
    std::fprintf(to,
                 "usage: devservice [--port N] [--data FILE] [--certs DIR] [--no-demo-data]\n"
                 "                  [--hold ROUTE=MS[+SKIP]]...\n"
                 "                  [--media-server WS_URL,ADMIN_URL,ADMIN_SECRET,ROOM_ADMIN_KEY]...\n"
                 "                  [--media-interface LIST] [--janus-ports WS,ADMIN] [--rtp-ports MIN-MAX]\n"
                 "                  [--room-linger SECONDS] [--janus-instances N]\n"
                 "                  [--turn [--turn-address IPV4] | --turn-server URL,SECRET]\n"
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
                 "--janus-instances runs N such Janus (1 to 8; folders FILE.janus, FILE.janus-2\n"
                 "...), sharing the RTP ports out among them.\n"
                 "An empty room is destroyed after --room-linger seconds.\n"
                 "--turn also starts a coturn on 127.0.0.1 (folder FILE.turn) and hands each\n"
                 "admission time-limited TURN credentials for it; --turn-server names an\n"
                 "external TURN server (turn: URL) and its shared secret instead.\n"
                 "--turn-address puts that coturn on another local address (a test's own\n"
                 "network namespace); it relays only to loopback and --media-interface.\n"
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
        } else if (arg == "--janus-instances" && hasValue) {
            char* end = nullptr;
            const long count = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || count < 1 || count > kMaxJanusInstances) {
                std::fprintf(stderr, "devservice: --janus-instances needs a number from 1 to %d\n",
                             kMaxJanusInstances);
                return false;
            }
            options.janusInstances = static_cast<int>(count);
        } else if (arg == "--turn") {
            options.ownTurn = true;
        } else if (arg == "--turn-address" && hasValue) {
            options.turnAddress = argv[++i];
            in_addr parsed{};
            if (inet_pton(AF_INET, options.turnAddress.c_str(), &parsed) != 1) {
                std::fprintf(stderr, "devservice: --turn-address needs an IPv4 address\n");
                return false;
            }
        } else if (arg == "--turn-server" && hasValue) {
            devservice::TurnServer turn;
            if (!devservice::parseTurnServer(argv[++i], turn)) {
                std::fprintf(stderr,
                             "devservice: --turn-server needs turn:HOST:PORT[?transport=udp],SECRET\n");
                return false;
            }
            options.turnServer = turn;
        } else if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "devservice: unknown or incomplete option %s\n", arg.c_str());
            printUsage(stderr);
            return false;
        }
    }
    if ((options.janus.rtpMax - options.janus.rtpMin + 1) / options.janusInstances < 2) {
        std::fprintf(stderr, "devservice: --rtp-ports is too narrow for %d Janus instances\n",
                     options.janusInstances);
        return false;
    }
    if (options.ownTurn && options.turnServer) {
        std::fprintf(stderr, "devservice: --turn and --turn-server exclude each other\n");
        return false;
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

    // The media servers: those named, or Janus instances of the service's
    // own beside the data file and named after it, so that services with
    // data files in one folder keep theirs apart.
    std::string dataPath = options.dataFile;
    if (dataPath.empty() || dataPath.front() != '/') {
        if (char* cwd = getcwd(nullptr, 0)) {
            dataPath = std::string(cwd) + "/" + dataPath;
            std::free(cwd);
        }
    }
    std::vector<std::unique_ptr<devservice::JanusProcess>> janus;
    std::vector<std::shared_ptr<devservice::RoomServer>> mediaServers;
    for (const devservice::JanusEndpoint& endpoint : options.mediaServers)
        mediaServers.push_back(std::make_shared<devservice::JanusAdmin>(endpoint));
    if (mediaServers.empty()) {
        const int count = options.janusInstances;
        const int share = (options.janus.rtpMax - options.janus.rtpMin + 1) / count;
        for (int i = 0; i < count; ++i) {
            devservice::JanusSettings settings = options.janus;
            settings.folder = dataPath + ".janus" + (i == 0 ? "" : "-" + std::to_string(i + 1));
            if (count > 1) {
                settings.rtpMin = options.janus.rtpMin + i * share;
                settings.rtpMax = settings.rtpMin + share - 1;
                // Only the first keeps the ports asked for.
                if (i > 0)
                    settings.clientPort = settings.adminPort = 0;
            }
            janus.push_back(std::make_unique<devservice::JanusProcess>(settings, logLine));
        }
        // Started together, so that several come up in the time of one.
        std::vector<std::thread> starting;
        for (auto& instance : janus)
            starting.emplace_back([&instance] { instance->start(kJanusReady); });
        for (std::thread& thread : starting)
            thread.join();
        for (auto& instance : janus)
            mediaServers.push_back(std::make_shared<devservice::JanusAdmin>(instance->endpoint()));
    }
    auto rooms = std::make_unique<devservice::MediaRooms>(
        mediaServers, std::chrono::seconds(options.roomLingerSeconds), logLine);
    std::unique_ptr<devservice::TurnProcess> turn;
    if (options.ownTurn) {
        devservice::TurnSettings settings;
        settings.folder = dataPath + ".turn";
        settings.address = options.turnAddress;
        settings.relayMin = std::min(options.janus.rtpMax + 1, 65535 - kTurnRelayPorts + 1);
        settings.relayMax = settings.relayMin + kTurnRelayPorts - 1;
        const std::string& interfaces = options.janus.iceInterfaces;
        for (size_t start = 0; !interfaces.empty() && start <= interfaces.size();) {
            const size_t comma = std::min(interfaces.find(',', start), interfaces.size());
            settings.peerInterfaces.push_back(interfaces.substr(start, comma - start));
            start = comma + 1;
        }
        turn = std::make_unique<devservice::TurnProcess>(settings, logLine);
        turn->start(kJanusReady);
        // One that was set up but is slow to answer still gets credentials
        // handed out: its watcher keeps starting it.
        if (!turn->server().url.empty())
            options.turnServer = turn->server();
    }
    if (options.turnServer)
        rooms->setTurn(*options.turnServer);

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
    for (auto& instance : janus)
        instance->stop();
    if (turn)
        turn->stop();
    logLine("devservice stopped");
    return listened ? 0 : 1;
}
