#pragma once
// What the service's admission answer says about a meeting's media: where
// its Janus is, which room, and the participant's own credentials for it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

namespace talvora::media {

struct IceServer
{
    QStringList urls;
    QString username;
    QString credential; // secret: never logged
};

struct Admission
{
    QString number; // the meeting number, digits
    QUrl server;    // ws:// or wss:// URL of the Janus WebSocket API
    qint64 room = 0;
    QString pin;   // secret: never logged
    QString token; // secret: never logged
    QVector<IceServer> iceServers;
    QString displayName;
    bool host = false;
    // The publisher id the service chose for this participant; 0: Janus
    // chooses.
    qint64 participantId = 0;
};

// Reads a start or join answer, {"number": "...", "media": {...}}. False,
// with admission left alone, when the answer is not such an object or a
// field is missing, of the wrong type or out of range: a meeting without
// media cannot be entered.
bool parseAdmission(const QByteArray& answer, Admission& admission);

} // namespace talvora::media
