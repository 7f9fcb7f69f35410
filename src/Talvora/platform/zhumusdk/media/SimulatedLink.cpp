#include "SimulatedLink.h"

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace talvora::media {
namespace {

std::atomic<double> g_loss{0};
std::atomic<int> g_delayMs{0};

// Set while a delay line hands a packet on, so that its own probe lets
// the packet pass this time.
thread_local bool t_releasing = false;

// Packets held back on one pad, released by a thread of their own in the
// order they came, each once its time is up. It ends when the probe goes
// or the pad is gone.
class DelayLine
{
public:
    DelayLine(GstPad* pad, bool outgoing) : m_outgoing(outgoing) { g_weak_ref_init(&m_pad, pad); }
    ~DelayLine()
    {
        for (const Held& held : m_held)
            gst_mini_object_unref(held.packet);
        g_weak_ref_clear(&m_pad);
    }

    void hold(GstMiniObject* packet)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_held.push_back({g_get_monotonic_time() + gint64(g_delayMs.load()) * 1000, gst_mini_object_ref(packet)});
        m_wake.notify_one();
    }

    void stop()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_wake.notify_one();
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_stopped) {
            if (m_held.empty()) {
                m_wake.wait(lock);
                continue;
            }
            const gint64 wait = m_held.front().due - g_get_monotonic_time();
            if (wait > 0) {
                m_wake.wait_for(lock, std::chrono::microseconds(wait));
                continue;
            }
            GstMiniObject* packet = m_held.front().packet;
            m_held.pop_front();
            lock.unlock();
            const bool padGone = !release(packet);
            lock.lock();
            if (padGone)
                break;
        }
    }

private:
    struct Held
    {
        gint64 due;
        GstMiniObject* packet;
    };

    // Hands the packet on as if it had just passed: into the ICE agent's
    // sink from the element before it, or out of the ICE agent's source.
    // False once the pad is gone.
    bool release(GstMiniObject* packet)
    {
        GstPad* pad = static_cast<GstPad*>(g_weak_ref_get(&m_pad));
        if (!pad) {
            gst_mini_object_unref(packet);
            return false;
        }
        GstPad* from = m_outgoing ? gst_pad_get_peer(pad) : GST_PAD(gst_object_ref(pad));
        if (!from) {
            gst_mini_object_unref(packet);
        } else {
            if (!m_outgoing)
                packet = arrivingNow(pad, packet);
            t_releasing = true;
            if (GST_IS_BUFFER_LIST(packet))
                gst_pad_push_list(from, GST_BUFFER_LIST_CAST(packet));
            else
                gst_pad_push(from, GST_BUFFER_CAST(packet));
            t_releasing = false;
            gst_object_unref(from);
        }
        gst_object_unref(pad);
        return true;
    }

    // An arriving packet carries the time the ICE agent got it, which the
    // jitter buffer judges lateness by: it gets the time it is let in.
    static GstMiniObject* arrivingNow(GstPad* pad, GstMiniObject* packet)
    {
        GstElement* element = gst_pad_get_parent_element(pad);
        GstClock* clock = element ? gst_element_get_clock(element) : nullptr;
        if (clock) {
            const GstClockTime now = gst_clock_get_time(clock) - gst_element_get_base_time(element);
            if (GST_IS_BUFFER_LIST(packet)) {
                GstBufferList* list = gst_buffer_list_make_writable(GST_BUFFER_LIST_CAST(packet));
                gst_buffer_list_foreach(
                    list,
                    [](GstBuffer** buffer, guint, gpointer time) -> gboolean {
                        *buffer = gst_buffer_make_writable(*buffer);
                        GST_BUFFER_DTS(*buffer) = GST_BUFFER_PTS(*buffer) = *static_cast<GstClockTime*>(time);
                        return TRUE;
                    },
                    const_cast<GstClockTime*>(&now));
                packet = GST_MINI_OBJECT_CAST(list);
            } else {
                GstBuffer* buffer = gst_buffer_make_writable(GST_BUFFER_CAST(packet));
                GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer) = now;
                packet = GST_MINI_OBJECT_CAST(buffer);
            }
            gst_object_unref(clock);
        }
        if (element)
            gst_object_unref(element);
        return packet;
    }

    const bool m_outgoing;
    GWeakRef m_pad;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Held> m_held;
    bool m_stopped = false;
};

GstPadProbeReturn pass(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    if (t_releasing)
        return GST_PAD_PROBE_OK;
    if (g_random_double() < g_loss.load())
        return GST_PAD_PROBE_DROP;
    auto* line = static_cast<std::shared_ptr<DelayLine>*>(data);
    if (!line)
        return GST_PAD_PROBE_OK;
    (*line)->hold(GST_MINI_OBJECT_CAST(GST_PAD_PROBE_INFO_DATA(info)));
    // The pipeline lets go of its reference; the line holds its own.
    return GST_PAD_PROBE_DROP;
}

void release(gpointer data)
{
    auto* line = static_cast<std::shared_ptr<DelayLine>*>(data);
    (*line)->stop();
    delete line;
}

} // namespace

void SimulatedLink::setLoss(double share)
{
    g_loss = share;
}

void SimulatedLink::setDelay(int milliseconds)
{
    g_delayMs = milliseconds;
}

void SimulatedLink::applyTo(GstElement* pipeline)
{
    g_signal_connect(
        pipeline, "deep-element-added",
        G_CALLBACK(+[](GstBin*, GstBin*, GstElement* element, gpointer) {
            GstElementFactory* factory = gst_element_get_factory(element);
            const gchar* name = factory ? GST_OBJECT_NAME(factory) : "";
            const bool outgoing = g_str_equal(name, "nicesink");
            if (!outgoing && !g_str_equal(name, "nicesrc"))
                return;
            GstPad* pad = gst_element_get_static_pad(element, outgoing ? "sink" : "src");
            std::shared_ptr<DelayLine>* line = nullptr;
            if (g_delayMs.load() > 0) {
                line = new std::shared_ptr<DelayLine>(std::make_shared<DelayLine>(pad, outgoing));
                std::thread([held = *line] { held->run(); }).detach();
            }
            gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), pass,
                              line, line ? release : nullptr);
            gst_object_unref(pad);
        }),
        nullptr);
}

} // namespace talvora::media
