#pragma once
// The host's side of a meeting's connection: the local network as the media
// can use it (the interfaces that are up and running, and their addresses
// inside the meeting's ICE network), looked at once a second. The platform
// layer's own eyes: the engine needs nothing of the client to notice a
// network that went away, came back, or changed its address.
//
// And the back-off between attempts to get a lost meeting back: 1, 2, 4, 8,
// then every 10 s.
//
// Threads: the owner's thread (Qt event loop).

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace talvora::media {

class NetworkWatch : public QObject
{
    Q_OBJECT

public:
    // network: "address/prefix" the addresses must be in; empty: any.
    explicit NetworkWatch(const QString& network, QObject* parent = nullptr);

    void start();
    // "interface address" of every usable address, sorted.
    QStringList addresses() const { return m_addresses; }
    static QStringList usableAddresses(const QString& network);

signals:
    // An address the meeting may have used is gone (interface down, address
    // removed or changed).
    void addressLost();
    // The set of usable addresses grew: a network (back) to try.
    void addressAdded();

private:
    void poll();

    QString m_network;
    QStringList m_addresses;
    QTimer m_poll;
};

class ReconnectBackoff
{
public:
    // Milliseconds before the next attempt, growing 1, 2, 4, 8, 10, 10 … s.
    int next();
    void reset() { m_attempt = 0; }
    int attempts() const { return m_attempt; }

private:
    int m_attempt = 0;
};

} // namespace talvora::media
