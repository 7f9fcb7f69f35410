// The settings dialog's devices on the scripted device source: the lists,
// their updates when devices come and go, the choice kept in the settings
// file (also when that file is damaged), and what a meeting does with a
// new choice or a lost device.

#include "DeviceChoices.h"
#include "DeviceDouble.h"
#include "GalleryView.h"
#include "MeetingEngineDouble.h"
#include "MeetingWindow.h"
#include "SettingsDialog.h"
#include "TestCallWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace talvora::zhumu;
using talvora::media::DeviceDouble;
using talvora::media::DeviceInfo;
using talvora::media::DeviceKind;
using talvora::media::EngineDouble;

namespace {

QStringList items(const QComboBox* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->itemText(i);
    return texts;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class DeviceSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listsFollowDevicesComingAndGoing();
    void choiceIsSavedAndReadBack();
    void damagedSettingsFileGivesDefaults_data();
    void damagedSettingsFileGivesDefaults();
    void previewMeterAndToneUseTheChosenDevices();
    void meetingSwitchesDeviceAndSaysWhenOneIsLost();
    void testCallShowsBothWaysAndTheDelay();

private:
    std::unique_ptr<QTemporaryDir> m_config;
};

void DeviceSettingsTest::init()
{
    m_config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    qunsetenv("TALVORA_TEST_MEDIA");
    DeviceChoices::instance().reload();
}

void DeviceSettingsTest::cleanup()
{
    DeviceDouble::reset();
    EngineDouble::reset();
}

void DeviceSettingsTest::listsFollowDevicesComingAndGoing()
{
    const DeviceInfo usbCamera{QStringLiteral("cam-usb"), QStringLiteral("USB 摄像头")};
    DeviceDouble::setDevices(DeviceKind::Camera,
                             {{QStringLiteral("cam-1"), QStringLiteral("内置摄像头")}, usbCamera});
    DeviceChoices::instance().choose(DeviceKind::Camera, usbCamera.id);
    SettingsDialog dialog;
    QComboBox* cameras = dialog.deviceList(DeviceKind::Camera);
    QCOMPARE(items(cameras), QStringList({"内置摄像头", "USB 摄像头"}));
    QCOMPARE(cameras->currentText(), QStringLiteral("USB 摄像头"));
    QCOMPARE(items(dialog.deviceList(DeviceKind::Speaker)), QStringList({"内置扬声器"}));

    // Unplugged: the default shows, the choice stays for its return.
    DeviceDouble::setDevices(DeviceKind::Camera, {{QStringLiteral("cam-1"), QStringLiteral("内置摄像头")}});
    QCOMPARE(items(cameras), QStringList({"内置摄像头"}));
    QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Camera), usbCamera.id);
    DeviceDouble::setDevices(DeviceKind::Camera,
                             {{QStringLiteral("cam-1"), QStringLiteral("内置摄像头")}, usbCamera});
    QCOMPARE(cameras->currentText(), QStringLiteral("USB 摄像头"));

    // Nothing at all: said, and not choosable.
    DeviceDouble::setDevices(DeviceKind::Microphone, {});
    QComboBox* microphones = dialog.deviceList(DeviceKind::Microphone);
    QCOMPARE(items(microphones), QStringList({"未检测到设备"}));
    QVERIFY(!microphones->isEnabled());

    // The test sources stand for the devices with test media.
    qputenv("TALVORA_TEST_MEDIA", "1");
    SettingsDialog testDialog;
    QCOMPARE(items(testDialog.deviceList(DeviceKind::Camera)), QStringList({"测试摄像头"}));
    QCOMPARE(items(testDialog.deviceList(DeviceKind::Microphone)), QStringList({"测试麦克风"}));
}

void DeviceSettingsTest::choiceIsSavedAndReadBack()
{
    DeviceDouble::setDevices(DeviceKind::Speaker,
                             {{QStringLiteral("spk-1"), QStringLiteral("内置扬声器")},
                              {QStringLiteral("spk,2"), QStringLiteral("耳机, 立体声")}});
    {
        SettingsDialog dialog;
        QComboBox* speakers = dialog.deviceList(DeviceKind::Speaker);
        speakers->setCurrentIndex(1);
        emit speakers->activated(1);
    }
    QVERIFY(QFile::exists(m_config->path() + QStringLiteral("/Talvora/zhumusdk.ini")));
    DeviceChoices::instance().reload(); // as the next run reads it
    QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Speaker), QStringLiteral("spk,2"));
    QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Camera), QString());
    SettingsDialog again;
    QCOMPARE(again.deviceList(DeviceKind::Speaker)->currentText(), QStringLiteral("耳机, 立体声"));
}

void DeviceSettingsTest::damagedSettingsFileGivesDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[[[=\x01\n\x80", 9);
    QTest::newRow("not a string") << QByteArray("[devices]\ncamera=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\n");
    QTest::newRow("list") << QByteArray("[devices]\ncamera=a, b, c\n");
    QTest::newRow("overlong") << QByteArray("[devices]\ncamera=") + QByteArray(5000, 'x') + "\n";
    QTest::newRow("directory") << QByteArray();
}

void DeviceSettingsTest::damagedSettingsFileGivesDefaults()
{
    QFETCH(QByteArray, content);
    const QString path = DeviceChoices::settingsPath();
    if (content.isEmpty())
        QVERIFY(QDir().mkpath(path)); // unreadable as a file
    else
        writeFile(path, content);
    DeviceChoices::instance().reload();
    QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Camera), QString());
    SettingsDialog dialog;
    QCOMPARE(dialog.deviceList(DeviceKind::Camera)->currentText(), QStringLiteral("内置摄像头"));
    // A choice after it is still made, and for a file, read back.
    DeviceChoices::instance().choose(DeviceKind::Microphone, QStringLiteral("mic-1"));
    QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Microphone), QStringLiteral("mic-1"));
    if (!content.isEmpty()) {
        DeviceChoices::instance().reload();
        QCOMPARE(DeviceChoices::instance().chosen(DeviceKind::Microphone), QStringLiteral("mic-1"));
    }
}

void DeviceSettingsTest::previewMeterAndToneUseTheChosenDevices()
{
    DeviceDouble::setDevices(DeviceKind::Camera, {{QStringLiteral("cam-1"), QStringLiteral("内置摄像头")},
                                                  {QStringLiteral("cam-2"), QStringLiteral("USB 摄像头")}});
    SettingsDialog dialog;
    dialog.show();
    auto* preview = dialog.findChild<QLabel*>(QStringLiteral("devicePreview"));
    auto* level = dialog.findChild<QProgressBar*>(QStringLiteral("microphoneLevel"));
    QVERIFY(preview && level);
    QTRY_VERIFY(!preview->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(level->value(), 40); // -20 dBFS
    QCOMPARE(DeviceDouble::watchedCamera(), QStringLiteral("cam-1"));

    QComboBox* cameras = dialog.deviceList(DeviceKind::Camera);
    cameras->setCurrentIndex(1);
    emit cameras->activated(1);
    QCOMPARE(DeviceDouble::watchedCamera(), QStringLiteral("cam-2"));

    // The meter reads after the voice processing as set, and follows it.
    QCOMPARE(DeviceDouble::meterProcessing(), talvora::media::AudioProcessing());
    auto* noise = dialog.findChild<QComboBox*>(QStringLiteral("noiseSuppression"));
    QVERIFY(noise);
    noise->setCurrentIndex(3); // 高
    QCOMPARE(DeviceDouble::meterProcessing().noiseSuppression, talvora::media::NoiseSuppression::High);
    QVERIFY(DeviceDouble::meterProcessing().echoCancellation);

    auto* tone = dialog.findChild<QPushButton*>(QStringLiteral("speakerTest"));
    QCOMPARE(tone->text(), QStringLiteral("测试扬声器"));
    tone->click();
    QCOMPARE(DeviceDouble::tones(), 1);
    QCOMPARE(DeviceDouble::lastToneSpeaker(), QStringLiteral("spk-1"));
    QTRY_VERIFY(tone->isEnabled());

    // The camera pulled out under the preview.
    DeviceDouble::setDevices(DeviceKind::Camera, {});
    QCOMPARE(preview->text(), QStringLiteral("摄像头不可用"));
}

void DeviceSettingsTest::meetingSwitchesDeviceAndSaysWhenOneIsLost()
{
    talvora::media::Admission admission;
    admission.number = QStringLiteral("85000000001");
    admission.displayName = QStringLiteral("张三");
    talvora::media::MeetingEngine engine(admission, talvora::media::MediaOptions());
    talvora::media::Participant self;
    self.displayName = admission.displayName;
    MeetingWindow window(admission.number, self, &engine);
    window.show();
    engine.start();
    QTRY_VERIFY(window.isJoined());

    EngineDouble::loseDevice(&engine, DeviceKind::Camera, QStringLiteral("内置摄像头"));
    auto* gallery = window.findChild<GalleryView*>();
    QVERIFY(gallery);
    QCOMPARE(gallery->banner()->text(), QStringLiteral("摄像头已断开，已切换到默认设备"));
    EngineDouble::loseDevice(&engine, DeviceKind::Microphone, QString());
    QCOMPARE(gallery->banner()->text(), QStringLiteral("麦克风已断开，当前没有可用的麦克风"));
}

void DeviceSettingsTest::testCallShowsBothWaysAndTheDelay()
{
    TestCallWindow window;
    window.show();
    window.startCall(QUrl(QStringLiteral("ws://127.0.0.1:8188")), QStringLiteral("token"));
    QCOMPARE(DeviceDouble::testCalls(), 1);
    QCOMPARE(DeviceDouble::lastTestCallServer(), QUrl(QStringLiteral("ws://127.0.0.1:8188")));
    QTRY_COMPARE(window.status()->text(), QStringLiteral("往返延迟：42 毫秒"));
    const auto views = window.findChildren<QLabel*>(QStringLiteral("testCallView"));
    QCOMPARE(views.size(), 2);
    for (const QLabel* view : views) {
        const QPixmap picture = view->pixmap(Qt::ReturnByValue);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.width() * 9, picture.height() * 16); // in proportion
    }

    DeviceDouble::failTestCalls(QStringLiteral("unreachable"));
    window.startCall(QUrl(QStringLiteral("ws://127.0.0.1:8188")), QString());
    QTRY_COMPARE(window.status()->text(), QStringLiteral("测试失败，请检查网络后重试"));

    // Not signed in: no request, and the window says what to do.
    TestCallWindow* opened = TestCallWindow::open(nullptr);
    QCOMPARE(opened->status()->text(), QStringLiteral("请先登录，再测试麦克风和摄像头"));
    QCOMPARE(TestCallWindow::open(nullptr), opened); // one at a time
    delete opened;
}

QTEST_MAIN(DeviceSettingsTest)
#include "DeviceSettingsTest.moc"
