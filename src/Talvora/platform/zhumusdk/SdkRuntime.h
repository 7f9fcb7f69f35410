#pragma once
// Process-wide state of the SDK stand-in: the initialisation values, the one
// request thread that talks to the service, the hand-over of outcomes to the
// GUI thread, and the registry of live services and open windows.
//
// Outcomes never carry a service pointer across threads. A request captures
// its service's id; the GUI-thread side looks the id up when the outcome
// arrives, so a service destroyed in the meantime simply misses its event.

#include "HttpsClient.h"
#include "ZhumuSDK.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QObject;

namespace talvora::zhumu {

// Error codes of the exported functions and service operations.
constexpr int kErrUninitialised = 1;
constexpr int kErrInvalidParameter = 2;
constexpr int kErrWrongUsage = 3;

class ServiceBase
{
public:
    ServiceBase();
    virtual ~ServiceBase();
    ServiceBase(const ServiceBase&) = delete;
    ServiceBase& operator=(const ServiceBase&) = delete;

    uint64_t serviceId() const { return m_id; }

private:
    uint64_t m_id;
};

class SdkRuntime
{
public:
    static SdkRuntime& instance();

    int initialise(const ZhumuSDK::InitParam* param);
    void cleanUp();
    bool isInitialised() const { return m_initialised; }

    // "https://" + web domain, without a trailing slash.
    std::string baseUrl() const { return m_baseUrl; }

    // The account of the last successful login, shown in meeting windows,
    // and the session the service gave it, sent with meeting requests.
    QString signedInAccount() const { return m_signedInAccount; }
    std::string session() const { return m_session; }
    void setSignedIn(const QString& account, const std::string& session)
    {
        m_signedInAccount = account;
        m_session = session;
    }

    // Runs work on the request thread; jobs run one after another in order.
    void runInBackground(std::function<void()> work);

    // The request thread's HTTPS call. cleanUp() ends the one in flight at
    // once, so that leaving never waits for a slow service.
    https::Answer post(const https::Request& request) { return https::post(request, &m_abort); }

    // Queues call for the GUI thread's event loop. Safe from any thread; the
    // call never runs inside the caller's stack. Dropped after cleanUp().
    void postToGui(std::function<void()> call);

    // Finds a live service of type T by id, on the GUI thread.
    template <class T> T* find(uint64_t id) const
    {
        const auto it = m_services.find(id);
        return it == m_services.end() ? nullptr : dynamic_cast<T*>(it->second);
    }
    // The live service of type T behind an interface pointer that a client
    // hands back; null for anything the runtime did not hand out.
    template <class T, class Interface> T* findByInterface(const Interface* service) const
    {
        for (const auto& entry : m_services) {
            T* candidate = dynamic_cast<T*>(entry.second);
            if (candidate && static_cast<const Interface*>(candidate) == service)
                return candidate;
        }
        return nullptr;
    }

    // Windows of the stand-in, closed by cleanUp().
    void trackWindow(QWidget* window);

    // The client runs its main window modally, and a window is usable during
    // that only when it belongs to the modal window. Meeting windows belong
    // to the client's window that ran modally when the login succeeded, not
    // to whatever box happens to be modal when a meeting opens (a closing
    // confirmation would take the meeting window with it). Without one, the
    // window at the root of the present modal chain; null when nothing is
    // modal.
    void rememberClientWindow();
    QWidget* meetingOwner() const;

private:
    friend class ServiceBase;

    SdkRuntime() = default;
    ~SdkRuntime();

    uint64_t addService(ServiceBase* service);
    void removeService(uint64_t id);
    void stopWorker();
    void workerLoop();

    bool m_initialised = false;
    std::string m_baseUrl;
    QString m_brandingName;
    QString m_supportUrl;
    QString m_signedInAccount;
    std::string m_session;

    // GUI thread only.
    uint64_t m_nextServiceId = 1;
    std::map<uint64_t, ServiceBase*> m_services;
    std::vector<QPointer<QWidget>> m_windows;
    QPointer<QWidget> m_clientWindow;

    // Guards m_dispatcher, which the request thread reads to post outcomes
    // while the GUI thread may be tearing it down.
    std::mutex m_dispatchMutex;
    QObject* m_dispatcher = nullptr;

    // Guards m_jobs and m_stopping.
    std::mutex m_jobMutex;
    std::condition_variable m_jobReady;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_worker;
    https::Abort m_abort;
};

// UTF-8 text of a NUL-terminated wide string; empty for null.
std::string toUtf8(const wchar_t* text);

// Delivers to the live service of type T with the given id, on the GUI
// thread, after the current call has returned.
template <class T, class Call> void deliverTo(uint64_t id, Call call)
{
    SdkRuntime::instance().postToGui([id, call] {
        if (T* service = SdkRuntime::instance().find<T>(id))
            call(*service);
    });
}

} // namespace talvora::zhumu
