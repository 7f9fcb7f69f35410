#pragma once
// The machine's network adapters with their IPv4 addresses, in the order the
// system lists them (GetAdaptersInfo on the original target).

#include <functional>
#include <string>
#include <vector>

namespace talvora::platform {

struct NetworkAdapter
{
    std::string name;
    // A human-readable description; Bluetooth network interfaces carry the
    // word "Bluetooth" in it, as they do on the original target.
    std::string description;
    std::vector<std::string> ipv4Addresses; // dotted quads
};

// Adapters that are up and running, without loopback, each with at least one
// IPv4 address. False when the system's list cannot be read.
bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters);

// Replaces the system's list for tests. An empty source restores it.
using NetworkAdapterSource = std::function<bool(std::vector<NetworkAdapter>& adapters)>;
void setNetworkAdapterSource(NetworkAdapterSource source);

} // namespace talvora::platform
