#include "AudioProcessingSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace talvora::zhumu {
namespace {

const char* const kNoiseNames[] = {"off", "low", "moderate", "high"};

} // namespace

AudioProcessingSettings& AudioProcessingSettings::instance()
{
    static AudioProcessingSettings settings;
    return settings;
}

QString AudioProcessingSettings::filePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Talvora/zhumusdk.ini");
}

media::AudioProcessing AudioProcessingSettings::load() const
{
    QSettings file(filePath(), QSettings::IniFormat);
    media::AudioProcessing processing;
    file.beginGroup(QStringLiteral("audio"));
    processing.echoCancellation = file.value(QStringLiteral("echo_cancellation"), true).toBool();
    processing.autoGain = file.value(QStringLiteral("auto_gain"), true).toBool();
    const QString noise = file.value(QStringLiteral("noise_suppression")).toString();
    for (int level = 0; level < 4; ++level) {
        if (noise == QLatin1String(kNoiseNames[level]))
            processing.noiseSuppression = media::NoiseSuppression(level);
    }
    return processing;
}

void AudioProcessingSettings::save(const media::AudioProcessing& processing)
{
    if (processing == load())
        return;
    QSettings file(filePath(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("audio"));
    file.setValue(QStringLiteral("echo_cancellation"), processing.echoCancellation);
    file.setValue(QStringLiteral("noise_suppression"),
                  QLatin1String(kNoiseNames[int(processing.noiseSuppression)]));
    file.setValue(QStringLiteral("auto_gain"), processing.autoGain);
    file.endGroup();
    file.sync();
    emit changed(processing);
}

} // namespace talvora::zhumu
