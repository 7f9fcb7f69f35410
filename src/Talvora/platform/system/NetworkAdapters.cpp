#include "NetworkAdapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <fstream>
#include <mutex>

namespace talvora::platform {
namespace {

// Read by the connectivity watcher's thread, written by tests before it starts.
std::mutex g_sourceMutex;
NetworkAdapterSource g_source;

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// bnep* are the PAN interfaces of BlueZ; sysfs tags other Bluetooth network
// devices with DEVTYPE=bluetooth.
bool isBluetoothInterface(const std::string& name)
{
    if (startsWith(name, "bnep")) {
        return true;
    }
    std::ifstream uevent("/sys/class/net/" + name + "/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line == "DEVTYPE=bluetooth") {
            return true;
        }
    }
    return false;
}

bool listSystemAdapters(std::vector<NetworkAdapter>& adapters)
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return false;
    }
    const unsigned int upAndRunning = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET ||
            entry->ifa_name == nullptr) {
            continue;
        }
        if ((entry->ifa_flags & IFF_LOOPBACK) != 0 || (entry->ifa_flags & upAndRunning) != upAndRunning) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &inet->sin_addr, text, sizeof text) == nullptr) {
            continue;
        }

        const std::string name = entry->ifa_name;
        NetworkAdapter* adapter = nullptr;
        for (NetworkAdapter& known : adapters) {
            if (known.name == name) {
                adapter = &known;
                break;
            }
        }
        if (adapter == nullptr) {
            adapters.push_back(NetworkAdapter{
                name, isBluetoothInterface(name) ? "Bluetooth Network Interface (" + name + ")" : name, {}});
            adapter = &adapters.back();
        }
        adapter->ipv4Addresses.emplace_back(text);
    }
    freeifaddrs(list);
    return true;
}

} // namespace

bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters)
{
    adapters.clear();
    NetworkAdapterSource source;
    {
        std::lock_guard<std::mutex> lock(g_sourceMutex);
        source = g_source;
    }
    return source ? source(adapters) : listSystemAdapters(adapters);
}

void setNetworkAdapterSource(NetworkAdapterSource source)
{
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    g_source = std::move(source);
}

} // namespace talvora::platform
