#pragma once
// "测试麦克风和摄像头": the camera picture as it leaves and as it comes back
// from the media server's echo, the sound played back, and the round trip
// in milliseconds. It asks the service for the echo server and a token,
// then runs an EchoTestCall on the chosen devices. One at a time.

#include <QDialog>
#include <QPointer>
#include <QUrl>

class QLabel;

namespace talvora::media {
class EchoTestCall;
}

namespace talvora::zhumu {

class TestCallWindow : public QDialog
{
    Q_OBJECT

public:
    // Shows the one window (making it, and asking the service, when there
    // is none) above owner.
    static TestCallWindow* open(QWidget* owner);

    explicit TestCallWindow(QWidget* owner = nullptr);
    ~TestCallWindow() override;

    // Calls the echo server with the service's token.
    void startCall(const QUrl& server, const QString& token);
    // Says why there is no test call.
    void showProblem(const QString& text);

    QLabel* status() const { return m_status; }

private:
    void askService();
    void showPicture(QLabel* view, const QImage& image);

    QLabel* m_local = nullptr;
    QLabel* m_echo = nullptr;
    QLabel* m_status = nullptr;
    media::EchoTestCall* m_call = nullptr;
};

} // namespace talvora::zhumu
