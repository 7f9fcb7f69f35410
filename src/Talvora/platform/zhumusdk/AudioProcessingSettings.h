#pragma once
// The microphone's voice processing as the user set it, kept in the SDK's
// settings file ($XDG_CONFIG_HOME/Talvora/zhumusdk.ini, group "audio") with
// the device choices. changed() tells a running meeting at once.

#include "media/AudioProcessing.h"

#include <QObject>
#include <QString>

namespace talvora::zhumu {

class AudioProcessingSettings : public QObject
{
    Q_OBJECT

public:
    // The one instance; GUI thread.
    static AudioProcessingSettings& instance();
    // The settings file: $XDG_CONFIG_HOME (or ~/.config)/Talvora/zhumusdk.ini.
    static QString filePath();

    // Defaults where the file has nothing (or nonsense): echo cancellation
    // on, noise suppression moderate, gain control on.
    media::AudioProcessing load() const;
    // Saves and emits changed() when it differs from what was saved.
    void save(const media::AudioProcessing& processing);

signals:
    void changed(const talvora::media::AudioProcessing& processing);
};

} // namespace talvora::zhumu
