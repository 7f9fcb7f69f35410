#include "JanusConfig.h"

#include "ChildProcess.h"
#include "Random.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <vector>

namespace devservice {
namespace {

constexpr size_t kSecretBytes = 24;

// Where distributions put Janus's loadable modules.
const char* const kModuleFolders[] = {
    "/usr/lib/x86_64-linux-gnu/janus",
    "/usr/lib/aarch64-linux-gnu/janus",
    "/usr/lib/i386-linux-gnu/janus",
    "/usr/lib/arm-linux-gnueabihf/janus",
    "/usr/lib64/janus",
    "/usr/lib/janus",
    "/usr/local/lib/janus",
    "/opt/janus/lib/janus",
};
// The only modules loaded: each kind has a folder of its own in the
// configuration, holding links to these.
const std::pair<const char*, const char*> kModules[] = {
    {"plugins", "libjanus_videoroom.so"},
    {"plugins", "libjanus_textroom.so"}, // the meetings' chat
    // The test call: it sends a client's own media back to it.
    {"plugins", "libjanus_echotest.so"},
    {"transports", "libjanus_websockets.so"},
    {"transports", "libjanus_http.so"},
};

bool exists(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool writeFile(const std::string& path, const std::string& text)
{
    // Owner only: the main file holds the admin secret, the plugin's the key.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return ::close(fd) == 0;
}

bool makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::chmod(path.c_str(), 0700) == 0;
}

// A folder of links to the wanted modules, emptied of anything else first.
bool linkModules(const std::string& folder, const std::string& kind, const std::string& source)
{
    const std::string target = folder + "/" + kind;
    if (!makeFolder(target))
        return false;
    for (const auto& module : kModules)
        ::unlink((target + "/" + module.second).c_str());
    for (const auto& [moduleKind, name] : kModules) {
        if (kind != moduleKind)
            continue;
        const std::string from = source + "/" + kind + "/" + name;
        if (!exists(from) || ::symlink(from.c_str(), (target + "/" + name).c_str()) != 0)
            return false;
    }
    return true;
}

int anyFreePort();

// A TCP port on 127.0.0.1 that nothing uses now and that this process has
// not handed out before (several Janus are configured at once); -1 when
// there is none.
int freePort()
{
    static std::mutex mutex;
    static std::set<int> given;
    std::lock_guard<std::mutex> lock(mutex);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int port = anyFreePort();
        if (port <= 0 || given.insert(port).second)
            return port;
    }
    return -1;
}

int anyFreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// One section of a Janus configuration file; values are written as given
// (quoted() makes a string value).
struct Setting
{
    const char* key;
    std::string value;
};

std::string section(const char* name, const std::vector<Setting>& settings)
{
    std::string text = std::string(name) + ": {\n";
    for (const Setting& setting : settings)
        text += std::string("\t") + setting.key + " = " + setting.value + "\n";
    return text + "}\n";
}

// Callers keep quotes, backslashes and line breaks out of the text.
std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

} // namespace

bool parsePortRange(const std::string& text, int& min, int& max)
{
    static const std::regex range("([0-9]{4,5})-([0-9]{4,5})");
    std::smatch match;
    if (!std::regex_match(text, match, range))
        return false;
    const int low = std::stoi(match[1]);
    const int high = std::stoi(match[2]);
    if (low < 1024 || high > 65535 || low > high)
        return false;
    min = low;
    max = high;
    return true;
}

bool writeJanusConfiguration(JanusSettings& settings, JanusEndpoint& endpoint,
                             const std::function<void(const std::string&)>& log)
{
    const std::string& folder = settings.folder;
    static const std::regex plainPath("[^\"\\\\\\n]+");
    static const std::regex interfaces("[A-Za-z0-9_.:,-]*");
    if (!std::regex_match(folder, plainPath) || !std::regex_match(settings.iceInterfaces, interfaces)) {
        log("janus: the data folder or --media-interface holds characters a configuration cannot carry");
        return false;
    }
    if (!ChildProcess::installed(settings.binary)) {
        log("janus: " + settings.binary + " is not installed (Debian package janus); meetings cannot start");
        return false;
    }
    std::string modules;
    for (const char* candidate : kModuleFolders) {
        if (exists(std::string(candidate) + "/plugins/libjanus_videoroom.so")) {
            modules = candidate;
            break;
        }
    }
    if (modules.empty()) {
        log("janus: its VideoRoom plugin is not installed (Debian package janus)");
        return false;
    }
    if (settings.clientPort == 0)
        settings.clientPort = freePort();
    if (settings.adminPort == 0)
        settings.adminPort = freePort();
    if (settings.clientPort <= 0 || settings.adminPort <= 0 || settings.clientPort == settings.adminPort) {
        log("janus: no free ports on 127.0.0.1");
        return false;
    }
    endpoint.clientUrl = "ws://127.0.0.1:" + std::to_string(settings.clientPort);
    endpoint.adminUrl = "http://127.0.0.1:" + std::to_string(settings.adminPort) + "/admin";
    const std::optional<std::string> adminSecret = randomHex(kSecretBytes);
    const std::optional<std::string> roomAdminKey = randomHex(kSecretBytes);
    endpoint.adminSecret = adminSecret.value_or("");
    endpoint.roomAdminKey = roomAdminKey.value_or("");
    if (!adminSecret || !roomAdminKey || !makeFolder(folder) || !linkModules(folder, "plugins", modules) ||
        !linkModules(folder, "transports", modules) || !makeFolder(folder + "/events") ||
        !makeFolder(folder + "/loggers")) {
        log("janus: cannot prepare " + folder);
        return false;
    }

    // No mDNS: resolving a browser's .local candidates would send queries
    // to the whole network.
    std::vector<Setting> nat = {{"nice_debug", "false"}, {"ignore_mdns", "true"}};
    if (!settings.iceInterfaces.empty())
        nat.push_back({"ice_enforce_list", quoted(settings.iceInterfaces)});
    const std::string main =
        "# Written by devservice on every start; edits are lost.\n" +
        section("general",
                {{"configs_folder", quoted(folder)},
                 {"plugins_folder", quoted(folder + "/plugins")},
                 {"transports_folder", quoted(folder + "/transports")},
                 {"events_folder", quoted(folder + "/events")},
                 {"loggers_folder", quoted(folder + "/loggers")},
                 {"debug_level", "4"},
                 {"debug_colors", "false"},
                 {"server_name", quoted("talvora-devservice")},
                 {"hide_dependencies", "true"},
                 {"admin_secret", quoted(endpoint.adminSecret)},
                 {"token_auth", "true"},
                 // A client whose WebSocket drops opens a new one and claims
                 // its session back, instead of losing its place in the room.
                 {"reclaim_session_timeout", "20"},
                 {"protected_folders", "[\"/bin\", \"/boot\", \"/dev\", \"/etc\", \"/lib\", \"/proc\", "
                                       "\"/sbin\", \"/sys\", \"/usr\", \"/var\"]"}}) +
        section("certificates", {}) +
        section("media", {{"ipv6", "false"},
                          {"rtp_port_range", quoted(std::to_string(settings.rtpMin) + "-" +
                                                    std::to_string(settings.rtpMax))},
                          // Janus keeps a packet for a retransmission only
                          // this long (200 ms by default, or the round trip
                          // and 100 ms). A subscriber asks a second time
                          // after a lost NACK or retransmission, and a packet
                          // lost on the way in reaches Janus itself a round
                          // trip late: the clients' video waits 450 ms.
                          {"min_nack_queue", "600"}}) +
        section("nat", nat) + section("plugins", {}) + section("transports", {}) + section("loggers", {}) +
        section("events", {{"broadcast", "false"}});
    const std::string websockets = section("general", {{"json", quoted("compact")},
                                                       {"ws", "true"},
                                                       {"ws_port", std::to_string(settings.clientPort)},
                                                       {"ws_ip", quoted("127.0.0.1")},
                                                       {"ws_acl", quoted("127.")},
                                                       {"wss", "false"}}) +
                                   section("admin", {{"admin_ws", "false"}, {"admin_wss", "false"}});
    const std::string http =
        section("general", {{"json", quoted("compact")}, {"http", "false"}, {"https", "false"}}) +
        section("admin", {{"admin_base_path", quoted("/admin")},
                          {"admin_http", "true"},
                          {"admin_port", std::to_string(settings.adminPort)},
                          {"admin_ip", quoted("127.0.0.1")},
                          {"admin_acl", quoted("127.")},
                          {"admin_https", "false"}});
    const std::string videoRoom = section("general", {{"admin_key", quoted(endpoint.roomAdminKey)},
                                                      {"lock_rtp_forward", "true"},
                                                      {"string_ids", "false"},
                                                      {"events", "false"}});
    // Each start of the service begins a new log.
    ::unlink((folder + "/janus.log").c_str());
    if (!writeFile(folder + "/janus.jcfg", main) ||
        !writeFile(folder + "/janus.transport.websockets.jcfg", websockets) ||
        !writeFile(folder + "/janus.transport.http.jcfg", http) ||
        !writeFile(folder + "/janus.plugin.videoroom.jcfg", videoRoom) ||
        !writeFile(folder + "/janus.plugin.textroom.jcfg",
                   section("general", {{"admin_key", quoted(endpoint.roomAdminKey)},
                                       {"json", quoted("compact")},
                                       {"string_ids", "false"},
                                       {"events", "false"}}))) {
        log("janus: cannot write its configuration in " + folder);
        return false;
    }
    return true;
}

} // namespace devservice
