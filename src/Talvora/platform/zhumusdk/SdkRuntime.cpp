#include "SdkRuntime.h"

#include <QApplication>
#include <QMetaObject>
#include <QObject>

#include <algorithm>

namespace talvora::zhumu {
namespace {

// A web domain is host[:port]; anything that would change the path, the
// user part or the scheme of the service URL is refused.
bool isPlainWebDomain(const std::string& domain)
{
    if (domain.empty())
        return false;
    return std::none_of(domain.begin(), domain.end(), [](unsigned char c) {
        return c <= ' ' || c == 0x7f || c == '/' || c == '\\' || c == '?' || c == '#' || c == '@';
    });
}

// The top of the window chain that the active modal window belongs to: the
// client's main window when one of its own boxes is modal.
QWidget* modalRoot()
{
    QWidget* window = QApplication::activeModalWidget();
    if (!window)
        return nullptr;
    window = window->window();
    while (QWidget* owner = window->parentWidget())
        window = owner->window();
    return window;
}

} // namespace

std::string toUtf8(const wchar_t* text)
{
    if (!text)
        return {};
    return QString::fromWCharArray(text).toStdString();
}

ServiceBase::ServiceBase() : m_id(SdkRuntime::instance().addService(this)) {}

ServiceBase::~ServiceBase()
{
    SdkRuntime::instance().removeService(m_id);
}

SdkRuntime& SdkRuntime::instance()
{
    static SdkRuntime runtime;
    return runtime;
}

SdkRuntime::~SdkRuntime()
{
    stopWorker();
}

int SdkRuntime::initialise(const ZhumuSDK::InitParam* param)
{
    if (m_initialised)
        return kErrWrongUsage;
    if (!param || !param->webDomain)
        return kErrInvalidParameter;
    const std::string domain = toUtf8(param->webDomain);
    if (!isPlainWebDomain(domain))
        return kErrInvalidParameter;
    // Events are delivered through the application's event loop.
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return kErrUninitialised;

    m_baseUrl = "https://" + domain;
    m_brandingName = param->brandingName ? QString::fromWCharArray(param->brandingName) : QString();
    m_supportUrl = param->supportUrl ? QString::fromWCharArray(param->supportUrl) : QString();

    auto* dispatcher = new QObject(app);
    QObject::connect(dispatcher, &QObject::destroyed, [this, dispatcher] {
        std::lock_guard<std::mutex> lock(m_dispatchMutex);
        if (m_dispatcher == dispatcher)
            m_dispatcher = nullptr;
    });
    {
        std::lock_guard<std::mutex> lock(m_dispatchMutex);
        m_dispatcher = dispatcher;
    }
    m_initialised = true;
    return ZhumuSDK::SDKERR_SUCCESS;
}

void SdkRuntime::cleanUp()
{
    QObject* dispatcher = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_dispatchMutex);
        std::swap(dispatcher, m_dispatcher);
    }
    // Services the client did not destroy end here; their windows with them.
    // What they still ask of the service (a meeting's leave) is dropped with
    // the queue below: no request may start once the clean-up has begun, as
    // the client releases the network library right after it.
    while (!m_services.empty())
        delete m_services.begin()->second;

    // Without a dispatcher the request thread drops what it finishes now.
    stopWorker();

    for (const QPointer<QWidget>& window : m_windows)
        delete window.data();
    m_windows.clear();
    m_clientWindow.clear();

    // Outcomes queued before this point still run, find no service and end.
    if (dispatcher)
        dispatcher->deleteLater();

    m_initialised = false;
    m_baseUrl.clear();
    m_brandingName.clear();
    m_supportUrl.clear();
    m_signedInAccount.clear();
    m_session.clear();
}

void SdkRuntime::runInBackground(std::function<void()> work)
{
    std::lock_guard<std::mutex> lock(m_jobMutex);
    if (!m_worker.joinable()) {
        m_stopping = false;
        m_worker = std::thread(&SdkRuntime::workerLoop, this);
    }
    m_jobs.push_back(std::move(work));
    m_jobReady.notify_one();
}

void SdkRuntime::postToGui(std::function<void()> call)
{
    std::lock_guard<std::mutex> lock(m_dispatchMutex);
    if (m_dispatcher)
        QMetaObject::invokeMethod(m_dispatcher, std::move(call), Qt::QueuedConnection);
}

void SdkRuntime::rememberClientWindow()
{
    if (!m_clientWindow)
        m_clientWindow = modalRoot();
}

QWidget* SdkRuntime::meetingOwner() const
{
    return m_clientWindow ? m_clientWindow.data() : modalRoot();
}

void SdkRuntime::trackWindow(QWidget* window)
{
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), nullptr), m_windows.end());
    m_windows.emplace_back(window);
}

uint64_t SdkRuntime::addService(ServiceBase* service)
{
    const uint64_t id = m_nextServiceId++;
    m_services.emplace(id, service);
    return id;
}

void SdkRuntime::removeService(uint64_t id)
{
    m_services.erase(id);
}

void SdkRuntime::stopWorker()
{
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(m_jobMutex);
        m_stopping = true;
        m_jobs.clear();
        worker = std::move(m_worker);
    }
    m_jobReady.notify_all();
    // The request in flight ends without waiting for its answer.
    m_abort.abort();
    if (worker.joinable())
        worker.join();
    m_abort.reset();
}

void SdkRuntime::workerLoop()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(m_jobMutex);
            m_jobReady.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

} // namespace talvora::zhumu
