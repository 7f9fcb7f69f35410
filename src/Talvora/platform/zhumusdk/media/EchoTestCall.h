#pragma once
// The test call: this participant's camera and microphone (the chosen
// devices, or the test media) sent to Janus's EchoTest plugin, which sends
// them straight back; the returned picture and sound are played here, and
// the round trip is measured from RTCP. It checks the whole path (devices,
// network, media server) before a meeting.
//
// Threads: like MeetingEngine: one thread with a Qt event loop; every
// signal is emitted there.

#include "MeetingEngine.h"

#include <QImage>
#include <QObject>
#include <QUrl>

#include <memory>

namespace talvora::media {

class EchoTestCall : public QObject
{
    Q_OBJECT

public:
    // server: Janus's WebSocket URL; token: the service's Janus token for it.
    EchoTestCall(const QUrl& server, const QString& token, const MediaOptions& options,
                 QObject* parent = nullptr);
    ~EchoTestCall() override; // hangs up

    void start();
    // Pictures that came back so far.
    quint64 framesReturned() const;

signals:
    void localFrame(const QImage& image);
    void echoFrame(const QImage& image);
    // Round trip to the media server and back, ms, about once a second.
    void roundTrip(double ms);
    void failed(const QString& reason);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace talvora::media
