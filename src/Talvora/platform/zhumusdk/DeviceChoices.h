#pragma once
// The camera, microphone and speaker the user chose, kept across runs in
// the stand-in's own settings file, $XDG_CONFIG_HOME/Talvora/zhumusdk.ini
// (~/.config when XDG_CONFIG_HOME is unset). A missing or unreadable file
// means the defaults; a corrupt one is kept aside as zhumusdk.ini.bad when
// the next choice is saved.
//
// GUI thread only.

#include "media/DeviceCatalog.h"

#include <QObject>
#include <QString>

namespace talvora::zhumu {

class DeviceChoices : public QObject
{
    Q_OBJECT

public:
    static DeviceChoices& instance();
    static QString settingsPath();

    // The chosen id of each kind; empty: the default.
    QString chosen(media::DeviceKind kind) const;
    // Saves the choice; a running meeting switches over.
    void choose(media::DeviceKind kind, const QString& id);
    // Reads the file again (tests; another run's choice).
    void reload();

signals:
    void changed(talvora::media::DeviceKind kind, const QString& id);

private:
    DeviceChoices();

    QString m_ids[3];
    bool m_corrupt = false;
};

} // namespace talvora::zhumu
