#include "Admission.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace talvora::media {
namespace {

constexpr int kMaxText = 1024;
constexpr int kMaxIceServers = 8;

bool readText(const QJsonObject& object, const char* key, QString& out, bool allowEmpty = false)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return false;
    out = value.toString();
    return out.size() <= kMaxText && (allowEmpty || !out.isEmpty());
}

bool isDigits(const QString& text)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool readIceServers(const QJsonValue& value, QVector<IceServer>& out)
{
    if (!value.isArray() || value.toArray().size() > kMaxIceServers)
        return false;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        IceServer server;
        const QJsonValue urls = object.value(QLatin1String("urls"));
        if (urls.isString()) {
            server.urls << urls.toString();
        } else if (urls.isArray()) {
            for (const QJsonValue& url : urls.toArray()) {
                if (!url.isString())
                    return false;
                server.urls << url.toString();
            }
        } else {
            return false;
        }
        if (object.contains(QLatin1String("username")) && !readText(object, "username", server.username, true))
            return false;
        if (object.contains(QLatin1String("credential")) &&
            !readText(object, "credential", server.credential, true))
            return false;
        out.push_back(server);
    }
    return true;
}

} // namespace

bool parseAdmission(const QByteArray& answer, Admission& admission)
{
    const QJsonObject root = QJsonDocument::fromJson(answer).object();
    const QJsonObject media = root.value(QLatin1String("media")).toObject();
    Admission parsed;
    QString server;
    if (!readText(root, "number", parsed.number) || !isDigits(parsed.number) || !readText(media, "server", server) ||
        !readText(media, "pin", parsed.pin) || !readText(media, "token", parsed.token) ||
        !readText(media, "display_name", parsed.displayName, true) ||
        !readIceServers(media.value(QLatin1String("ice_servers")), parsed.iceServers))
        return false;
    parsed.server = QUrl(server, QUrl::StrictMode);
    const QString scheme = parsed.server.scheme();
    if (!parsed.server.isValid() || parsed.server.host().isEmpty() ||
        (scheme != QLatin1String("ws") && scheme != QLatin1String("wss")))
        return false;
    const QJsonValue room = media.value(QLatin1String("room"));
    const QJsonValue host = media.value(QLatin1String("host"));
    // Janus room ids are unsigned 64-bit; a double carries them exactly up to 2^53.
    if (!room.isDouble() || room.toDouble() < 1 || room.toDouble() > 9007199254740992.0 ||
        room.toDouble() != static_cast<double>(static_cast<qint64>(room.toDouble())) || !host.isBool())
        return false;
    parsed.room = static_cast<qint64>(room.toDouble());
    if (media.contains(QLatin1String("participant_id"))) {
        const double id = media.value(QLatin1String("participant_id")).toDouble(-1);
        if (id < 1 || id > 9007199254740992.0 || id != static_cast<double>(static_cast<qint64>(id)))
            return false;
        parsed.participantId = static_cast<qint64>(id);
    }
    parsed.host = host.toBool();
    admission = parsed;
    return true;
}

} // namespace talvora::media
