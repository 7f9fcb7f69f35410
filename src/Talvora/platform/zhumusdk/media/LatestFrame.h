#pragma once
// The one queued path for pictures from a streaming thread to the owner's
// thread: each new picture replaces the one waiting, and one queued call at
// a time hands over the newest, so a slow owner never builds a backlog.

#include "ThreadGate.h"

#include <QImage>

#include <functional>
#include <mutex>
#include <utility>

typedef struct _GstElement GstElement;

namespace talvora::media {

// Calls onImage on the appsink's streaming thread with each BGRx picture it
// receives, copied into an RGB32 image (the same bytes on a little-endian
// machine). The appsink must stop (its pipeline in NULL) before whatever
// onImage touches goes.
void watchAppSink(GstElement* appsink, std::function<void(QImage)> onImage);

class LatestFrame
{
public:
    // Streaming thread. deliver(image) runs on the gate's owner, which
    // must own this object too.
    template <typename Deliver> void offer(QImage image, const GatePtr& gate, Deliver deliver)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_image = std::move(image);
        if (m_pending)
            return;
        m_pending = true;
        gate->post([this, deliver] {
            QImage latest;
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                latest = std::move(m_image);
                m_pending = false;
            }
            if (!latest.isNull())
                deliver(latest);
        });
    }

private:
    // Guards the waiting picture between the streaming thread and the owner.
    std::mutex m_mutex;
    QImage m_image;
    bool m_pending = false;
};

} // namespace talvora::media
