#pragma once
// The one way from GStreamer's threads (streaming threads, webrtcbin's own
// thread, promise callbacks) to the thread that owns a pipeline object. A
// callback posts a function; it runs later on the owner's thread, queued, or
// never once the owner has closed the gate. Callbacks hold the gate by
// shared pointer, so a late callback finds it closed instead of freed.

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>
#include <utility>

namespace talvora::media {

class ThreadGate
{
public:
    explicit ThreadGate(QObject* owner) : m_owner(owner) {}

    // Any thread.
    template <typename F> void post(F&& function)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_owner)
            QMetaObject::invokeMethod(m_owner, std::forward<F>(function), Qt::QueuedConnection);
    }

    // Owner's thread, before the owner goes: nothing posted afterwards runs.
    // Functions already queued are dropped by Qt with the owner.
    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_owner = nullptr;
    }

private:
    // Guards m_owner: post() may run on any thread while close() runs on
    // the owner's.
    std::mutex m_mutex;
    QObject* m_owner;
};

using GatePtr = std::shared_ptr<ThreadGate>;

} // namespace talvora::media
