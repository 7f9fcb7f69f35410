#pragma once
// The stand-in's settings dialog: a few switches that live in memory for the
// life of the process. Non-modal; one at a time.

#include <QDialog>

namespace talvora::zhumu {

struct MeetingSwitches
{
    bool cameraOnJoin = true;
    bool autoConnectAudio = true;
    bool fullScreen = false;
};

class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    // The switches as the user last left them.
    static MeetingSwitches& switches();
};

} // namespace talvora::zhumu
