#include "ParticipantCommands.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

// A line longer than this is no command: it is dropped, not collected.
constexpr int kLongestLine = 8192;

} // namespace

ParticipantCommands::ParticipantCommands(int descriptor, QObject* parent)
    : QObject(parent), m_descriptor(descriptor),
      m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &ParticipantCommands::readAvailable);
}

void ParticipantCommands::readAvailable()
{
    char buffer[4096];
    const ssize_t got = ::read(m_descriptor, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        // The writer is gone: nothing more will come, and a readable end of
        // file would wake the loop for ever.
        m_notifier->setEnabled(false);
        return;
    }
    m_pending.append(buffer, int(got));
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_pending.left(end)).trimmed();
        m_pending.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        const int space = line.indexOf(QLatin1Char(' '));
        emit command(line.left(space).toLower(), space < 0 ? QString() : line.mid(space + 1).trimmed());
    }
    if (m_pending.size() > kLongestLine)
        m_pending.clear();
}
