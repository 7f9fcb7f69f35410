#include "SettingsDialog.h"

#include "AudioProcessingSettings.h"
#include "DeviceChoices.h"
#include "media/DeviceProbe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

using media::DeviceKind;

QCheckBox* addSwitch(QVBoxLayout* layout, const QString& text, const char* objectName, bool& value)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setChecked(value);
    QObject::connect(box, &QCheckBox::toggled, [&value](bool on) { value = on; });
    layout->addWidget(box);
    return box;
}

constexpr DeviceKind kKinds[] = {DeviceKind::Camera, DeviceKind::Microphone, DeviceKind::Speaker};
const char* const kListNames[] = {"cameraList", "microphoneList", "speakerList"};
const QSize kPreviewSize(240, 135);

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
    setMinimumWidth(360);
    // Its own look: as a child of the client's window it would otherwise take
    // on that window's style sheet.
    setStyleSheet(QStringLiteral("QDialog{background:#ffffff;}"
                                 "QCheckBox{color:#333333;font-size:14px;padding:4px 0;}"
                                 "QLabel{color:#333333;font-size:14px;}"
                                 "QLabel#devicePreview{background:#1f2329;color:#c9cdd4;font-size:12px;}"
                                 "QPushButton{padding:4px 16px;}"
                                 "QPushButton#testCallLink{border:none;color:#1e6fff;padding:4px 0;"
                                 "text-align:left;font-size:14px;}"
                                 "QPushButton#testCallLink:focus{text-decoration:underline;}"
                                 "QProgressBar{border:none;background:#e5e6eb;max-height:6px;}"
                                 "QProgressBar::chunk{background:#00b42a;}"));

    MeetingSwitches& state = switches();
    auto* layout = new QVBoxLayout(this);
    addSwitch(layout, QStringLiteral("入会时开启摄像头"), "cameraOnJoin", state.cameraOnJoin);
    addSwitch(layout, QStringLiteral("入会时自动连接音频"), "autoConnectAudio", state.autoConnectAudio);
    addSwitch(layout, QStringLiteral("进入全屏"), "fullScreen", state.fullScreen);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const QString labels[] = {QStringLiteral("摄像头"), QStringLiteral("麦克风"), QStringLiteral("扬声器")};
    for (DeviceKind kind : kKinds) {
        auto* list = new QComboBox(this);
        list->setObjectName(QString::fromLatin1(kListNames[int(kind)]));
        list->setAccessibleName(labels[int(kind)]);
        list->setMinimumWidth(220);
        m_lists[int(kind)] = list;
        connect(list, QOverload<int>::of(&QComboBox::activated), this, [this, kind](int index) {
            const QString id = m_lists[int(kind)]->itemData(index).toString();
            DeviceChoices::instance().choose(kind, id);
            if (isVisible() && kind != DeviceKind::Speaker)
                watchDevices();
        });
        form->addRow(labels[int(kind)], list);
        if (kind == DeviceKind::Camera) {
            m_preview = new QLabel(this);
            m_preview->setObjectName(QStringLiteral("devicePreview"));
            m_preview->setFixedSize(kPreviewSize);
            m_preview->setAlignment(Qt::AlignCenter);
            m_preview->setAccessibleName(QStringLiteral("摄像头预览"));
            form->addRow(QString(), m_preview);
        } else if (kind == DeviceKind::Microphone) {
            m_level = new QProgressBar(this);
            m_level->setObjectName(QStringLiteral("microphoneLevel"));
            m_level->setAccessibleName(QStringLiteral("麦克风音量"));
            m_level->setRange(0, 60); // dB above -60 dBFS
            m_level->setTextVisible(false);
            form->addRow(QString(), m_level);
        } else {
            m_toneButton = new QPushButton(QStringLiteral("测试扬声器"), this);
            m_toneButton->setObjectName(QStringLiteral("speakerTest"));
            m_toneButton->setAutoDefault(false);
            form->addRow(QString(), m_toneButton);
        }
    }
    layout->addLayout(form);

    auto* testCall = new QPushButton(QStringLiteral("测试麦克风和摄像头"), this);
    testCall->setObjectName(QStringLiteral("testCallLink"));
    testCall->setCursor(Qt::PointingHandCursor);
    testCall->setAutoDefault(false);
    connect(testCall, &QPushButton::clicked, this, &SettingsDialog::testCallRequested);
    layout->addWidget(testCall);
    addAudioProcessing(layout);
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);

    const bool testMedia = media::DeviceCatalog::testMediaFromEnvironment();
    m_catalog = new media::DeviceCatalog(testMedia, this);
    m_probe = new media::DeviceProbe(testMedia, this);
    // The meter shows the microphone as a meeting would send it.
    m_probe->setAudioProcessing(AudioProcessingSettings::instance().load());
    connect(&AudioProcessingSettings::instance(), &AudioProcessingSettings::changed, m_probe,
            &media::DeviceProbe::setAudioProcessing);
    connect(m_catalog, &media::DeviceCatalog::changed, this, [this](DeviceKind kind) {
        fillList(kind);
        if (isVisible() && kind != DeviceKind::Speaker)
            watchDevices();
    });
    connect(m_probe, &media::DeviceProbe::cameraFrame, this, [this](const QImage& image) {
        // Kept in proportion inside the box, never stretched.
        m_preview->setPixmap(QPixmap::fromImage(
            image.scaled(m_preview->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    });
    connect(m_probe, &media::DeviceProbe::microphoneLevel, this,
            [this](double dbfs) { m_level->setValue(qBound(0, int(dbfs + 60.0), 60)); });
    connect(m_toneButton, &QPushButton::clicked, this, [this] {
        const QComboBox* list = m_lists[int(DeviceKind::Speaker)];
        if (m_probe->playTone(list->currentData().toString()))
            m_toneButton->setEnabled(false);
    });
    connect(m_probe, &media::DeviceProbe::toneFinished, this, [this] { m_toneButton->setEnabled(true); });
    connect(&DeviceChoices::instance(), &DeviceChoices::changed, this,
            [this](DeviceKind kind) { fillList(kind); });
    for (DeviceKind kind : kKinds)
        fillList(kind);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::fillList(DeviceKind kind)
{
    QComboBox* list = m_lists[int(kind)];
    const QSignalBlocker quiet(list);
    const QVector<media::DeviceInfo> devices = m_catalog->devices(kind);
    list->clear();
    for (const media::DeviceInfo& device : devices)
        list->addItem(device.name, device.id);
    if (devices.isEmpty()) {
        list->addItem(QStringLiteral("未检测到设备"));
        list->setEnabled(false);
        return;
    }
    list->setEnabled(true);
    // A chosen device that is not plugged in stays chosen: when it comes
    // back it is used again. Meanwhile the default is shown, and used.
    const media::DeviceInfo* shown = media::findDevice(devices, DeviceChoices::instance().chosen(kind));
    list->setCurrentIndex(int(shown - devices.constData()));
}

void SettingsDialog::watchDevices()
{
    const QComboBox* cameras = m_lists[int(DeviceKind::Camera)];
    const QComboBox* microphones = m_lists[int(DeviceKind::Microphone)];
    m_preview->clear();
    m_level->setValue(0);
    m_probe->stopWatching();
    if (!cameras->isEnabled() || !m_probe->watchCamera(cameras->currentData().toString()))
        m_preview->setText(QStringLiteral("摄像头不可用"));
    if (microphones->isEnabled())
        m_probe->watchMicrophone(microphones->currentData().toString());
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    watchDevices();
}

void SettingsDialog::hideEvent(QHideEvent* event)
{
    // A camera open in a hidden dialog would keep its light on.
    m_probe->stopWatching();
    QDialog::hideEvent(event);
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
