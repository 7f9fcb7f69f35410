#pragma once
// The stand-in's settings dialog: a few switches that live in memory for the
// life of the process. Non-modal; one at a time.

#include <QDialog>

class QVBoxLayout;

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

private:
    // "音频处理": echo cancellation, noise suppression, gain control.
    void addAudioProcessing(QVBoxLayout* layout);
};

} // namespace talvora::zhumu
