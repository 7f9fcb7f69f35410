#include "DeviceChoices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace talvora::zhumu {
namespace {

const char* const kKeys[] = {"devices/camera", "devices/microphone", "devices/speaker"};
// Longer is no device id of any system: a damaged file.
constexpr int kMaxIdLength = 1024;

} // namespace

DeviceChoices& DeviceChoices::instance()
{
    static DeviceChoices choices;
    return choices;
}

DeviceChoices::DeviceChoices()
{
    qRegisterMetaType<talvora::media::DeviceKind>();
    reload();
}

QString DeviceChoices::settingsPath()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    // Relative values are to be ignored, as the XDG rules say.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Talvora/zhumusdk.ini");
}

void DeviceChoices::reload()
{
    for (QString& id : m_ids)
        id.clear();
    QSettings settings(settingsPath(), QSettings::IniFormat);
    m_corrupt = settings.status() == QSettings::FormatError;
    if (m_corrupt)
        return;
    for (int kind = 0; kind < 3; ++kind) {
        const QVariant value = settings.value(QLatin1String(kKeys[kind]));
        const QString id = value.type() == QVariant::String ? value.toString() : QString();
        if (id.size() <= kMaxIdLength)
            m_ids[kind] = id;
    }
}

QString DeviceChoices::chosen(media::DeviceKind kind) const
{
    return m_ids[int(kind)];
}

void DeviceChoices::choose(media::DeviceKind kind, const QString& id)
{
    if (m_ids[int(kind)] == id)
        return;
    m_ids[int(kind)] = id;
    const QString path = settingsPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (m_corrupt) {
        // Rewritten with what is known now; the damaged file stays readable.
        QFile::remove(path + QStringLiteral(".bad"));
        QFile::rename(path, path + QStringLiteral(".bad"));
        m_corrupt = false;
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        for (int other = 0; other < 3; ++other)
            settings.setValue(QLatin1String(kKeys[other]), m_ids[other]);
        settings.sync();
        if (settings.status() != QSettings::NoError)
            qWarning("device choice not saved: %s", qPrintable(path));
    }
    emit changed(kind, id);
}

} // namespace talvora::zhumu
