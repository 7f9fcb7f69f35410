#include "NetworkWatch.h"

#include <QHostAddress>
#include <QNetworkInterface>

#include <algorithm>

namespace talvora::media {

NetworkWatch::NetworkWatch(const QString& network, QObject* parent) : QObject(parent), m_network(network)
{
    m_poll.setInterval(1000);
    connect(&m_poll, &QTimer::timeout, this, &NetworkWatch::poll);
}

void NetworkWatch::start()
{
    m_addresses = usableAddresses(m_network);
    m_poll.start();
}

QStringList NetworkWatch::usableAddresses(const QString& network)
{
    const auto subnet = QHostAddress::parseSubnet(network);
    QStringList found;
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        // A link that is down keeps its addresses listed: the flags tell.
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (network.isEmpty() ? ip.isLinkLocal() : !ip.isInSubnet(subnet))
                continue;
            found << interface.name() + QLatin1Char(' ') + ip.toString();
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

void NetworkWatch::poll()
{
    const QStringList now = usableAddresses(m_network);
    if (now == m_addresses)
        return;
    bool lost = false, added = false;
    for (const QString& address : qAsConst(m_addresses))
        lost = lost || !now.contains(address);
    for (const QString& address : now)
        added = added || !m_addresses.contains(address);
    m_addresses = now;
    if (lost)
        emit addressLost();
    if (added)
        emit addressAdded();
}

int ReconnectBackoff::next()
{
    const int seconds = m_attempt < 4 ? (1 << m_attempt) : 10;
    ++m_attempt;
    return seconds * 1000;
}

} // namespace talvora::media
