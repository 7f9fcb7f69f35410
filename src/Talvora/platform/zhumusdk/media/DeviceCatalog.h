#pragma once
// The cameras, microphones and speakers that can be chosen, kept current
// while devices come and go. With test media (TALVORA_TEST_MEDIA=1) the
// camera and the microphone are the test sources, "测试摄像头" and
// "测试麦克风", and no camera or microphone is probed.
//
// Threads: made and used on one thread that runs a Qt event loop; changed()
// is emitted there.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>

namespace talvora::media {

enum class DeviceKind
{
    Camera,
    Microphone,
    Speaker
};

struct DeviceInfo
{
    QString id;   // stable across runs as far as the system keeps it
    QString name; // what the user sees
};

class DeviceCatalog : public QObject
{
    Q_OBJECT

public:
    explicit DeviceCatalog(bool testMedia, QObject* parent = nullptr);
    ~DeviceCatalog() override;

    // The first entry is the system's default.
    QVector<DeviceInfo> devices(DeviceKind kind) const;

    // Whether TALVORA_TEST_MEDIA=1 asks for the test sources.
    static bool testMediaFromEnvironment() { return qgetenv("TALVORA_TEST_MEDIA") == "1"; }

signals:
    // A device of that kind came or went.
    void changed(talvora::media::DeviceKind kind);

private:
    class Private;
    std::unique_ptr<Private> d;
};

// The entry of `id` in `list`, or the default (first) one, or null for an
// empty list.
inline const DeviceInfo* findDevice(const QVector<DeviceInfo>& list, const QString& id)
{
    for (const DeviceInfo& device : list) {
        if (device.id == id)
            return &device;
    }
    return list.isEmpty() ? nullptr : &list.first();
}

} // namespace talvora::media

Q_DECLARE_METATYPE(talvora::media::DeviceKind)
