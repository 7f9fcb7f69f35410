#include "ServiceExchange.h"

#include "log/Log.h"

#include <QApplication>
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
#include <memory>
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

ExchangeResult exchangeInPlace(int32_t handle, HttpExchange& record)
{
    ExchangeResult result;
    result.completed = NET_HTTPCLIENT_ShortLinkExchange(handle, &record) != 0;
    if (!result.completed)
        result.lastError = NET_UTILS_GetLastError();
    return result;
}

// One exchange, owned jointly by the caller that waits for it and by the
// exchange thread: neither ever reaches into the other's stack, and the one
// that is done last frees it.
class Job
{
public:
    Job(int32_t handle, const HttpExchange& record) : m_handle(handle), m_record(record) {}

    // On the exchange thread (or in place).
    void run()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state != State::Waiting)
                return; // abandoned before it began: nothing is sent
            m_state = State::Running;
        }
        // Only this thread touches the record while the job runs.
        const ExchangeResult result = exchangeInPlace(m_handle, m_record);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_result = result;
        m_state = State::Ended;
        m_ended.notify_all();
    }

    // A quit: a job that has not begun never will; one in flight ends at once
    // as its handle goes. An answer that has arrived stays the caller's to
    // read and to free with its handle.
    void abandon()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state == State::Waiting) {
            m_state = State::Ended;
            m_ended.notify_all();
        } else if (m_state == State::Running && !m_bHandleReleased) {
            m_bHandleReleased = true;
            NET_HTTPCLIENT_Destroy(m_handle);
        }
    }

    bool ended() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_state == State::Ended;
    }

    // Only after an abandon(), which makes the end near: the transfer of a
    // released handle stops at once.
    void waitUntilEnded()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ended.wait(lock, [this] { return m_state == State::Ended; });
    }

    // The ended job's result; its record goes back to the caller.
    ExchangeResult take(HttpExchange& record) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        record = m_record;
        ExchangeResult result = m_result;
        result.handleReleased = m_bHandleReleased;
        // An answer that came as the handle went has gone with it.
        if (m_bHandleReleased)
            result.completed = false;
        return result;
    }

private:
    enum class State
    {
        Waiting,
        Running,
        Ended
    };

    const int32_t m_handle;
    // Guards everything below.
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    State m_state = State::Waiting;
    HttpExchange m_record;
    ExchangeResult m_result;
    bool m_bHandleReleased = false;
};

// The conferencing SDK names its windows "zhumu…", and its classes live in
// its own namespace; either tells its windows from the client's.
bool isSdkWindow(const QWidget* window)
{
    return window->objectName().startsWith(QLatin1String("zhumu")) ||
           qstrncmp(window->metaObject()->className(), "talvora::zhumu::", 16) == 0;
}

// The widget that an action aimed at `target` acts on: the target itself, the
// widget it belongs to (a shortcut, an action), or the widget of a window.
QWidget* widgetOf(QObject* target)
{
    if (auto* window = qobject_cast<QWindow*>(target)) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowHandle() == window)
                return widget;
        }
        return nullptr;
    }
    for (QObject* object = target; object; object = object->parent()) {
        if (auto* widget = qobject_cast<QWidget*>(object))
            return widget;
    }
    return nullptr;
}

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
    // The exchange in flight and the wait of its caller.
    std::shared_ptr<Job> current;
    QEventLoop* wait = nullptr;
    bool quit = false;

    bool inFlight() const { return current != nullptr; }

    void begin(std::shared_ptr<Job> job)
    {
        current = std::move(job);
        QCoreApplication::instance()->installEventFilter(this);
        // An exchange that follows another in the same action keeps the busy
        // state that the first one showed.
        if (!m_pShownBy)
            m_busyDelay.start();
    }

    void end()
    {
        current.reset();
        m_busyDelay.stop();
        QCoreApplication::instance()->removeEventFilter(this);
        // The busy state stays while the caller handles the answer, and goes
        // when control is back in an event loop, unless the caller has started
        // its next exchange by then.
        QTimer::singleShot(0, this, [this] { settle(); });
    }

    // From the exchange thread, once `job` has ended.
    void wake(const std::shared_ptr<Job>& job)
    {
        QMetaObject::invokeMethod(
            this,
            [this, job] {
                if (current == job && wait)
                    wait->quit();
            },
            Qt::QueuedConnection);
    }

    bool defer(QObject* context, std::function<void()> call)
    {
        // Nobody is left to act for.
        if (quit)
            return true;
        // A replayed call enters its handler again and must run this time.
        if (m_bReplaying) {
            m_bReplaying = false;
            return false;
        }
        if (!inFlight() && m_deferred.empty() && !m_bFlushing)
            return false;
        m_deferred.push_back(Deferred{context, std::move(call)});
        return true;
    }

    bool holds(QObject* target) const
    {
        if (!inFlight())
            return false;
        QWidget* widget = widgetOf(target);
        if (!widget)
            return false;
        const QWidget* open = presenter ? presenter->inputWindow() : nullptr;
        // A window owned by one of the SDK's (or by the input window) is as
        // free as its owner.
        for (const QWidget* window = widget->window(); window;
             window = window->parentWidget() ? window->parentWidget()->window() : nullptr) {
            if (window == open || isSdkWindow(window))
                return false;
        }
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
        return isUserInput(event->type()) && holds(receiver);
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
        if (!inFlight() || !presenter || m_pShownBy)
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
        if (inFlight())
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
        while (!m_deferred.empty() && !inFlight()) {
            Deferred next = std::move(m_deferred.front());
            m_deferred.pop_front();
            // After a quit the calls that waited are dropped unrun.
            if (next.context && !quit) {
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
    if (gate.inFlight()) {
        // Only code that runs inside an exchange's wait gets here (a timer,
        // never the user); it waits in place rather than nest a second wait.
        LOG_WARNING << "exchange started while another was in flight; it runs in place";
        return exchangeInPlace(handle, record);
    }

    auto job = std::make_shared<Job>(handle, record);
    QEventLoop wait;
    gate.begin(job);
    gate.wait = &wait;
    // The job leaves for the thread from inside the wait: a wait that a quit
    // ends before it starts has sent nothing.
    QMetaObject::invokeMethod(
        &wait,
        [&gate, &wait, job] {
            Gate* owner = &gate;
            if (!gate.thread.post([owner, job] {
                    job->run();
                    owner->wake(job);
                })) {
                job->run();
                wait.quit();
            }
        },
        Qt::QueuedConnection);
    wait.exec();
    gate.wait = nullptr;
    if (!job->ended()) {
        // Something else ended the wait: QCoreApplication::quit(), or the
        // session manager's QEvent::Quit at the end of the desktop session.
        // Every later wait would end as quickly, so the exchange is abandoned
        // as on any quit, and its end waited for here.
        requestQuit();
        job->waitUntilEnded();
    }
    const ExchangeResult result = job->take(record);
    gate.end();
    return result;
}

bool exchangeInFlight()
{
    return onGuiThread() && Gate::instance().inFlight();
}

bool deferWhileBusy(QObject* context, std::function<void()> call)
{
    return onGuiThread() && Gate::instance().defer(context, std::move(call));
}

bool actionHeld(QObject* target)
{
    return onGuiThread() && Gate::instance().holds(target);
}

void requestQuit()
{
    if (!onGuiThread())
        return;
    Gate& gate = Gate::instance();
    gate.quit = true;
    if (gate.current)
        gate.current->abandon();
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
