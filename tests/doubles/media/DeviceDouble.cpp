#include "DeviceDouble.h"

#include "MeetingEngineDouble.h"
#include "media/DeviceProbe.h"
#include "media/EchoTestCall.h"

#include <QPointer>
#include <QTimer>

namespace talvora::media {
namespace {

QVector<DeviceInfo> defaults(DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::Camera:
        return {{QStringLiteral("cam-1"), QStringLiteral("内置摄像头")}};
    case DeviceKind::Microphone:
        return {{QStringLiteral("mic-1"), QStringLiteral("内置麦克风")}};
    case DeviceKind::Speaker:
        break;
    }
    return {{QStringLiteral("spk-1"), QStringLiteral("内置扬声器")}};
}

QVector<DeviceInfo> g_devices[3] = {defaults(DeviceKind::Camera), defaults(DeviceKind::Microphone),
                                    defaults(DeviceKind::Speaker)};
QVector<QPointer<DeviceCatalog>> g_catalogs;
QString g_camera, g_microphone, g_speaker;
int g_tones = 0;
AudioProcessing g_meterProcessing;
int g_testCalls = 0;
QUrl g_testCallServer;
QString g_testCallFailure;

} // namespace

void DeviceDouble::setDevices(DeviceKind kind, const QVector<DeviceInfo>& devices)
{
    g_devices[int(kind)] = devices;
    for (const QPointer<DeviceCatalog>& catalog : QVector<QPointer<DeviceCatalog>>(g_catalogs)) {
        if (catalog)
            emit catalog->changed(kind);
    }
}

void DeviceDouble::reset()
{
    for (DeviceKind kind : {DeviceKind::Camera, DeviceKind::Microphone, DeviceKind::Speaker})
        g_devices[int(kind)] = defaults(kind);
    g_camera.clear();
    g_microphone.clear();
    g_speaker.clear();
    g_tones = 0;
    g_meterProcessing = AudioProcessing();
    g_testCalls = 0;
    g_testCallServer.clear();
    g_testCallFailure.clear();
}

int DeviceDouble::testCalls()
{
    return g_testCalls;
}

QUrl DeviceDouble::lastTestCallServer()
{
    return g_testCallServer;
}

void DeviceDouble::failTestCalls(const QString& reason)
{
    g_testCallFailure = reason;
}

QString DeviceDouble::watchedCamera()
{
    return g_camera;
}

QString DeviceDouble::watchedMicrophone()
{
    return g_microphone;
}

AudioProcessing DeviceDouble::meterProcessing()
{
    return g_meterProcessing;
}

int DeviceDouble::tones()
{
    return g_tones;
}

QString DeviceDouble::lastToneSpeaker()
{
    return g_speaker;
}

class DeviceCatalog::Private
{
public:
    bool testMedia = false;
};

DeviceCatalog::DeviceCatalog(bool testMedia, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    qRegisterMetaType<talvora::media::DeviceKind>();
    d->testMedia = testMedia;
    g_catalogs.removeAll(nullptr);
    g_catalogs << this;
}

DeviceCatalog::~DeviceCatalog() = default;

QVector<DeviceInfo> DeviceCatalog::devices(DeviceKind kind) const
{
    if (d->testMedia && kind != DeviceKind::Speaker)
        return {{QStringLiteral("test"),
                 kind == DeviceKind::Camera ? QStringLiteral("测试摄像头") : QStringLiteral("测试麦克风")}};
    return g_devices[int(kind)];
}

class DeviceProbe::Private
{
public:
    QTimer frames;
    int phase = 0;
};

DeviceProbe::DeviceProbe(bool, QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->frames.setInterval(66);
    connect(&d->frames, &QTimer::timeout, this, [this] {
        emit cameraFrame(EngineDouble::testFrame(QSize(320, 180), QColor(0x41, 0x94, 0xff), d->phase++));
        emit microphoneLevel(-20.0);
    });
}

DeviceProbe::~DeviceProbe() = default;

bool DeviceProbe::watchCamera(const QString& id)
{
    g_camera = id;
    const bool present = findDevice(g_devices[int(DeviceKind::Camera)], id) != nullptr;
    if (present) {
        emit cameraFrame(EngineDouble::testFrame(QSize(320, 180), QColor(0x41, 0x94, 0xff), d->phase++));
        d->frames.start();
    }
    return present;
}

bool DeviceProbe::watchMicrophone(const QString& id)
{
    g_microphone = id;
    const bool present = findDevice(g_devices[int(DeviceKind::Microphone)], id) != nullptr;
    if (present)
        emit microphoneLevel(-20.0);
    return present;
}

void DeviceProbe::stopWatching()
{
    d->frames.stop();
}

void DeviceProbe::setAudioProcessing(const AudioProcessing& processing)
{
    g_meterProcessing = processing;
}

bool DeviceProbe::playTone(const QString& id)
{
    ++g_tones;
    g_speaker = id;
    QTimer::singleShot(0, this, &DeviceProbe::toneFinished);
    return true;
}

class EchoTestCall::Private
{
public:
    QUrl server;
    quint64 frames = 0;
};

EchoTestCall::EchoTestCall(const QUrl& server, const QString&, const MediaOptions&, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->server = server;
}

EchoTestCall::~EchoTestCall() = default;

void EchoTestCall::start()
{
    ++g_testCalls;
    g_testCallServer = d->server;
    QTimer::singleShot(0, this, [this] {
        if (!g_testCallFailure.isEmpty()) {
            emit failed(g_testCallFailure);
            return;
        }
        emit localFrame(EngineDouble::testFrame(QSize(320, 180), QColor(0x41, 0x94, 0xff), 1));
        emit echoFrame(EngineDouble::testFrame(QSize(320, 180), QColor(0x41, 0x94, 0xff), 3));
        ++d->frames;
        emit roundTrip(42.0);
    });
}

quint64 EchoTestCall::framesReturned() const
{
    return d->frames;
}

} // namespace talvora::media
