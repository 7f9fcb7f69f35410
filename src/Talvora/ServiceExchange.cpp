#include "ServiceExchange.h"

#include "log/Log.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace talvora {
namespace {

// Shorter exchanges show nothing, so that a fast service never flickers.
constexpr int kBusyDelayMs = 300;

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The one thread that exchanges run on, made with the first exchange and
// joined when its owner goes. A thread of its own for every exchange would
// now and then leave the C library with one more heap arena, and the client's
// memory creeping up refresh after refresh.
class ExchangeThread
{
public:
    ExchangeThread() = default;
    ExchangeThread(const ExchangeThread&) = delete;
    ExchangeThread& operator=(const ExchangeThread&) = delete;

    ~ExchangeThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // Runs `job` on the thread; false when the thread cannot be made.
    bool post(std::function<void()> job)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread(&ExchangeThread::loop, this);
            } catch (const std::system_error&) {
                return false;
            }
        }
        m_job = std::move(job);
        m_wake.notify_one();
        return true;
    }

private:
    void loop()
    {
        for (;;) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_bStopping || m_job; });
            if (!m_job)
                return;
            std::function<void()> job = std::move(m_job);
            m_job = nullptr;
            lock.unlock();
            job();
        }
    }

    // Guards m_job and m_bStopping.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job;
    bool m_bStopping = false;
    std::thread m_thread;
};

// Everything here belongs to the GUI thread.
class Gate : public QObject
{
public:
    // Lives as long as the application object; a test's next application
    // gets a new one.
    static Gate& instance()
    {
        static QPointer<Gate> gate;
        if (!gate)
            gate = new Gate(QCoreApplication::instance());
        return *gate;
    }

    BusyPresenter* presenter = nullptr;
    ExchangeThread thread;
    bool inFlight = false;
    int32_t handle = -1;
    bool handleReleased = false;
    bool quit = false;

    void begin(int32_t exchangeHandle)
    {
        inFlight = true;
        handle = exchangeHandle;
        handleReleased = false;
        QCoreApplication::instance()->installEventFilter(this);
        // An exchange that follows another in the same action keeps the busy
        // state that the first one showed.
        if (!m_pShownBy)
            m_busyDelay.start();
    }

    void end()
    {
        inFlight = false;
        handle = -1;
        m_busyDelay.stop();
        QCoreApplication::instance()->removeEventFilter(this);
        // The busy state stays while the caller handles the answer, and goes
        // when control is back in an event loop, unless the caller has started
        // its next exchange by then.
        QTimer::singleShot(0, this, [this] { settle(); });
    }

    bool defer(QObject* context, std::function<void()> call)
    {
        // A replayed call enters its handler again and must run this time.
        if (m_bReplaying) {
            m_bReplaying = false;
            return false;
        }
        if (!inFlight && m_deferred.empty() && !m_bFlushing)
            return false;
        m_deferred.push_back(Deferred{context, std::move(call)});
        return true;
    }

    void presenterGone(BusyPresenter* gone)
    {
        if (m_pShownBy == gone)
            hideBusy();
    }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (!inFlight || !isUserInput(event->type()))
            return false;
        QWidget* open = presenter ? presenter->inputWindow() : nullptr;
        if (open) {
            if (auto* widget = qobject_cast<QWidget*>(receiver); widget && widget->window() == open)
                return false;
            if (receiver == open->windowHandle())
                return false;
        }
        return true;
    }

private:
    explicit Gate(QObject* parent) : QObject(parent)
    {
        m_busyDelay.setSingleShot(true);
        m_busyDelay.setInterval(kBusyDelayMs);
        connect(&m_busyDelay, &QTimer::timeout, this, [this] { showBusy(); });
    }

    void showBusy()
    {
        if (!inFlight || !presenter || m_pShownBy)
            return;
        m_pShownBy = presenter;
        m_pShownBy->showBusy();
        if (hasCursor())
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }

    void hideBusy()
    {
        if (!m_pShownBy)
            return;
        BusyPresenter* shown = m_pShownBy;
        m_pShownBy = nullptr;
        shown->hideBusy();
        if (hasCursor())
            QGuiApplication::restoreOverrideCursor();
    }

    static bool hasCursor() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

    void settle()
    {
        if (inFlight)
            return; // the next exchange settles when it ends
        hideBusy();
        flush();
    }

    void flush()
    {
        // A deferred call may open a box whose event loop gets here again;
        // the outer flush goes on with the rest once that call is done.
        if (m_bFlushing)
            return;
        m_bFlushing = true;
        while (!m_deferred.empty() && !inFlight) {
            Deferred next = std::move(m_deferred.front());
            m_deferred.pop_front();
            if (next.context) {
                m_bReplaying = true;
                next.call();
                m_bReplaying = false;
            }
        }
        m_bFlushing = false;
    }

    struct Deferred
    {
        QPointer<QObject> context;
        std::function<void()> call;
    };

    QTimer m_busyDelay;
    BusyPresenter* m_pShownBy = nullptr;
    std::deque<Deferred> m_deferred;
    bool m_bFlushing = false;
    bool m_bReplaying = false;
};

bool onGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

ExchangeResult exchangeInPlace(int32_t handle, HttpExchange& record)
{
    ExchangeResult result;
    result.completed = NET_HTTPCLIENT_ShortLinkExchange(handle, &record) != 0;
    if (!result.completed)
        result.lastError = NET_UTILS_GetLastError();
    return result;
}

} // namespace

BusyPresenterScope::BusyPresenterScope(BusyPresenter* presenter)
    : m_pPresenter(presenter), m_pPrevious(Gate::instance().presenter)
{
    Gate::instance().presenter = presenter;
}

BusyPresenterScope::~BusyPresenterScope()
{
    Gate& gate = Gate::instance();
    gate.presenterGone(m_pPresenter);
    gate.presenter = m_pPrevious;
}

ExchangeResult runExchange(int32_t handle, HttpExchange& record)
{
    if (!onGuiThread())
        return exchangeInPlace(handle, record);
    Gate& gate = Gate::instance();
    if (gate.quit)
        return ExchangeResult{};
    if (gate.inFlight) {
        // Only code that runs inside an exchange's wait gets here (a timer,
        // never the user); it waits in place rather than nest a second wait.
        LOG_WARNING << "exchange started while another was in flight; it runs in place";
        return exchangeInPlace(handle, record);
    }

    ExchangeResult result;
    QEventLoop wait;
    gate.begin(handle);
    const bool posted = gate.thread.post([&] {
        result = exchangeInPlace(handle, record);
        QMetaObject::invokeMethod(&wait, "quit", Qt::QueuedConnection);
    });
    if (posted)
        wait.exec();
    else
        result = exchangeInPlace(handle, record);
    result.handleReleased = gate.handleReleased;
    gate.end();
    return result;
}

bool exchangeInFlight()
{
    return onGuiThread() && Gate::instance().inFlight;
}

bool deferWhileBusy(QObject* context, std::function<void()> call)
{
    return onGuiThread() && Gate::instance().defer(context, std::move(call));
}

void requestQuit()
{
    if (!onGuiThread())
        return;
    Gate& gate = Gate::instance();
    gate.quit = true;
    if (gate.inFlight && !gate.handleReleased) {
        gate.handleReleased = true;
        NET_HTTPCLIENT_Destroy(gate.handle);
    }
}

bool quitRequested()
{
    return onGuiThread() && Gate::instance().quit;
}

void clearQuitRequest()
{
    if (onGuiThread())
        Gate::instance().quit = false;
}

} // namespace talvora
