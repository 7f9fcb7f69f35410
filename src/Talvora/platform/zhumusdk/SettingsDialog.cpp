#include "SettingsDialog.h"

#include "AudioProcessingSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

QCheckBox* addSwitch(QVBoxLayout* layout, const QString& text, const char* objectName, bool& value)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setChecked(value);
    QObject::connect(box, &QCheckBox::toggled, [&value](bool on) { value = on; });
    layout->addWidget(box);
    return box;
}

} // namespace

MeetingSwitches& SettingsDialog::switches()
{
    static MeetingSwitches current;
    return current;
}

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("zhumuSettingsDialog"));
    setWindowTitle(QStringLiteral("设置"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumWidth(280);
    // Its own look: as a child of the client's window it would otherwise take
    // on that window's style sheet.
    setStyleSheet(QStringLiteral("QDialog{background:#ffffff;}"
                                 "QCheckBox{color:#333333;font-size:14px;padding:4px 0;}"
                                 "QPushButton{padding:4px 16px;}"));

    MeetingSwitches& state = switches();
    auto* layout = new QVBoxLayout(this);
    addSwitch(layout, QStringLiteral("入会时开启摄像头"), "cameraOnJoin", state.cameraOnJoin);
    addSwitch(layout, QStringLiteral("入会时自动连接音频"), "autoConnectAudio", state.autoConnectAudio);
    addSwitch(layout, QStringLiteral("进入全屏"), "fullScreen", state.fullScreen);
    addAudioProcessing(layout);
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

void SettingsDialog::addAudioProcessing(QVBoxLayout* layout)
{
    // Saved as soon as changed; a meeting under way takes it at once.
    auto* title = new QLabel(QStringLiteral("音频处理"), this);
    title->setObjectName(QStringLiteral("audioProcessingTitle"));
    title->setStyleSheet(QStringLiteral("color:#333333;font-size:14px;font-weight:bold;padding-top:8px;"));
    layout->addWidget(title);
    const media::AudioProcessing current = AudioProcessingSettings::instance().load();
    auto* echo = new QCheckBox(QStringLiteral("回声消除"), this);
    echo->setObjectName(QStringLiteral("echoCancellation"));
    echo->setChecked(current.echoCancellation);
    auto* noise = new QComboBox(this);
    noise->setObjectName(QStringLiteral("noiseSuppression"));
    noise->addItems(
        {QStringLiteral("关闭"), QStringLiteral("低"), QStringLiteral("中"), QStringLiteral("高")});
    noise->setCurrentIndex(int(current.noiseSuppression));
    auto* gain = new QCheckBox(QStringLiteral("自动调节麦克风音量"), this);
    gain->setObjectName(QStringLiteral("autoGain"));
    gain->setChecked(current.autoGain);
    auto* noiseRow = new QFormLayout;
    noiseRow->setContentsMargins(0, 0, 0, 0);
    auto* noiseLabel = new QLabel(QStringLiteral("降噪"), this);
    noiseLabel->setStyleSheet(QStringLiteral("color:#333333;font-size:14px;"));
    noiseLabel->setBuddy(noise);
    noiseRow->addRow(noiseLabel, noise);
    layout->addWidget(echo);
    layout->addLayout(noiseRow);
    layout->addWidget(gain);
    auto save = [echo, noise, gain] {
        media::AudioProcessing processing;
        processing.echoCancellation = echo->isChecked();
        processing.noiseSuppression = media::NoiseSuppression(qBound(0, noise->currentIndex(), 3));
        processing.autoGain = gain->isChecked();
        AudioProcessingSettings::instance().save(processing);
    };
    connect(echo, &QCheckBox::toggled, this, save);
    connect(gain, &QCheckBox::toggled, this, save);
    connect(noise, qOverload<int>(&QComboBox::currentIndexChanged), this, save);
}

} // namespace talvora::zhumu
