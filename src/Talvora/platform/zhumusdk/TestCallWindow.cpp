#include "TestCallWindow.h"

#include "DeviceChoices.h"
#include "SdkRuntime.h"
#include "media/EchoTestCall.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

const QSize kViewSize(320, 180);
const QString kConnecting = QStringLiteral("正在连接媒体服务器…");
const QString kServiceDown = QStringLiteral("无法连接服务器，请稍后再试");

QPointer<TestCallWindow> g_window;

QLabel* videoView(QWidget* parent, const QString& name)
{
    auto* view = new QLabel(parent);
    view->setObjectName(QStringLiteral("testCallView"));
    view->setAccessibleName(name);
    view->setFixedSize(kViewSize);
    view->setAlignment(Qt::AlignCenter);
    return view;
}

} // namespace

TestCallWindow* TestCallWindow::open(QWidget* owner)
{
    // One closed a moment ago is on its way out: a new call, a new window.
    if (g_window && !g_window->isVisible()) {
        g_window->deleteLater();
        g_window = nullptr;
    }
    if (!g_window) {
        g_window = new TestCallWindow(owner ? owner->window() : nullptr);
        SdkRuntime::instance().trackWindow(g_window);
        g_window->askService();
    }
    g_window->show();
    g_window->raise();
    g_window->activateWindow();
    return g_window;
}

TestCallWindow::TestCallWindow(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("zhumuTestCallWindow"));
    setWindowTitle(QStringLiteral("测试麦克风和摄像头"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setStyleSheet(QStringLiteral("QDialog{background:#ffffff;}"
                                 "QLabel{color:#333333;font-size:14px;}"
                                 "QLabel#testCallView{background:#1f2329;color:#c9cdd4;font-size:12px;}"
                                 "QLabel#testCallStatus{color:#666666;}"
                                 "QPushButton{padding:4px 16px;}"));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    m_local = videoView(this, QStringLiteral("本地画面"));
    m_echo = videoView(this, QStringLiteral("回传画面"));
    grid->addWidget(new QLabel(QStringLiteral("本地画面"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("回传画面"), this), 0, 1);
    grid->addWidget(m_local, 1, 0);
    grid->addWidget(m_echo, 1, 1);

    m_status = new QLabel(kConnecting, this);
    m_status->setObjectName(QStringLiteral("testCallStatus"));
    // Read out as it changes.
    m_status->setAccessibleName(QStringLiteral("测试状态"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* stop = buttons->addButton(QStringLiteral("结束测试"), QDialogButtonBox::RejectRole);
    stop->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_status);
    layout->addWidget(buttons);
}

TestCallWindow::~TestCallWindow() = default;

void TestCallWindow::askService()
{
    https::Request request;
    request.url = SdkRuntime::instance().baseUrl() + "/sdk/v1/echotest";
    const std::string session = SdkRuntime::instance().session();
    if (session.empty()) {
        showProblem(QStringLiteral("请先登录，再测试麦克风和摄像头"));
        return;
    }
    request.headers.push_back("Authorization: Bearer " + session);
    QPointer<TestCallWindow> self(this);
    SdkRuntime::instance().runInBackground([self, request] {
        const https::Answer answer = SdkRuntime::instance().post(request);
        SdkRuntime::instance().postToGui([self, answer] {
            if (!self)
                return;
            const QJsonObject reply =
                QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
            const QUrl server(reply.value(QLatin1String("server")).toString(), QUrl::StrictMode);
            const QString token = reply.value(QLatin1String("token")).toString();
            const bool usable =
                answer.completed && answer.status == 200 && server.isValid() &&
                (server.scheme() == QLatin1String("ws") || server.scheme() == QLatin1String("wss")) &&
                !server.host().isEmpty();
            if (!usable)
                self->showProblem(kServiceDown);
            else
                self->startCall(server, token);
        });
    });
}

void TestCallWindow::startCall(const QUrl& server, const QString& token)
{
    delete m_call;
    media::MediaOptions options;
    options.testMedia = media::DeviceCatalog::testMediaFromEnvironment();
    options.width = 320;
    options.height = 180;
    options.fps = 15;
    const DeviceChoices& devices = DeviceChoices::instance();
    options.cameraId = devices.chosen(media::DeviceKind::Camera);
    options.microphoneId = devices.chosen(media::DeviceKind::Microphone);
    options.speakerId = devices.chosen(media::DeviceKind::Speaker);
    m_call = new media::EchoTestCall(server, token, options, this);
    connect(m_call, &media::EchoTestCall::localFrame, this,
            [this](const QImage& image) { showPicture(m_local, image); });
    connect(m_call, &media::EchoTestCall::echoFrame, this,
            [this](const QImage& image) { showPicture(m_echo, image); });
    connect(m_call, &media::EchoTestCall::roundTrip, this,
            [this](double ms) { m_status->setText(QStringLiteral("往返延迟：%1 毫秒").arg(qRound(ms))); });
    connect(m_call, &media::EchoTestCall::failed, this, [this](const QString& reason) {
        qWarning("test call: %s", qPrintable(reason));
        showProblem(QStringLiteral("测试失败，请检查网络后重试"));
    });
    m_status->setText(kConnecting);
    m_call->start();
}

void TestCallWindow::showProblem(const QString& text)
{
    m_status->setText(text);
}

void TestCallWindow::showPicture(QLabel* view, const QImage& image)
{
    // Kept in proportion inside the box, never stretched.
    view->setPixmap(
        QPixmap::fromImage(image.scaled(view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

} // namespace talvora::zhumu
