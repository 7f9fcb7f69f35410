#pragma once
// The stand-in's settings dialog: a few switches that live in memory for the
// life of the process, and the devices: the camera, microphone and speaker
// lists (kept current as devices come and go, the choice saved by
// DeviceChoices), a live camera preview, a microphone level meter, a
// speaker test tone, and the test call. Non-modal; one at a time.

#include "media/DeviceCatalog.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace talvora::media {
class DeviceProbe;
}
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
    ~SettingsDialog() override;

    // The switches as the user last left them.
    static MeetingSwitches& switches();

    QComboBox* deviceList(media::DeviceKind kind) const { return m_lists[int(kind)]; }

signals:
    // "测试麦克风和摄像头" was pressed.
    void testCallRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fillList(media::DeviceKind kind);
    void watchDevices();

    media::DeviceCatalog* m_catalog = nullptr;
    media::DeviceProbe* m_probe = nullptr;
    QComboBox* m_lists[3] = {};
    QLabel* m_preview = nullptr;
    QProgressBar* m_level = nullptr;
    QPushButton* m_toneButton = nullptr;
    // "音频处理": echo cancellation, noise suppression, gain control.
    void addAudioProcessing(QVBoxLayout* layout);
};

} // namespace talvora::zhumu
