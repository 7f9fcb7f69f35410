#include "IceRestart.h"

#include <QRandomGenerator>
#include <QStringList>

namespace talvora::media::IceRestart {
namespace {

const QString kUfrag = QStringLiteral("a=ice-ufrag:");
const QString kPwd = QStringLiteral("a=ice-pwd:");

QString randomText(int length)
{
    // ice-char: ALPHA / DIGIT / "+" / "/"
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    QString text;
    text.reserve(length);
    for (int i = 0; i < length; ++i)
        text += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof(alphabet) - 1))]);
    return text;
}

} // namespace

IceCredentials freshCredentials()
{
    return {randomText(8), randomText(24)};
}

IceCredentials credentialsOf(const QString& sdp)
{
    IceCredentials credentials;
    for (const QString& line : sdp.split(QStringLiteral("\r\n"))) {
        if (credentials.ufrag.isEmpty() && line.startsWith(kUfrag))
            credentials.ufrag = line.mid(kUfrag.size()).trimmed();
        else if (credentials.pwd.isEmpty() && line.startsWith(kPwd))
            credentials.pwd = line.mid(kPwd.size()).trimmed();
    }
    return credentials;
}

QString withCredentials(const QString& sdp, const IceCredentials& credentials)
{
    QStringList lines = sdp.split(QStringLiteral("\r\n"));
    for (QString& line : lines) {
        if (line.startsWith(kUfrag))
            line = kUfrag + credentials.ufrag;
        else if (line.startsWith(kPwd))
            line = kPwd + credentials.pwd;
    }
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace talvora::media::IceRestart

namespace talvora::media {

void IceRestartRound::begin(qint64 nowMs)
{
    m_packets.clear();
    m_startedMs = nowMs;
    m_answered = false;
}

bool IceRestartRound::succeeded(const QHash<qint64, quint64>& packets, qint64 nowMs) const
{
    if (!m_answered)
        return false;
    bool expecting = false;
    for (auto now = packets.constBegin(); now != packets.constEnd(); ++now) {
        if (!m_packets.contains(now.key()))
            continue;
        if (now.value() > m_packets.value(now.key()))
            return true;
        expecting = true;
    }
    return !expecting && nowMs - m_startedMs >= 1000;
}

} // namespace talvora::media
