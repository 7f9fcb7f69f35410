#pragma once
// Everything this participant hears goes out through one pipeline: every
// remote's decoded audio enters a mixer, and the mix passes a
// webrtcechoprobe on its way to the speaker, so that the microphone's echo
// canceller knows all that is played. Silence keeps the mixer (and the
// probe) running while no one talks or no one is there. Without a speaker
// the mix plays into a clocked fakesink; when the speaker is lost it does
// so until one comes back.
//
// Threads: the owner's thread; Input::push() from any streaming thread.

#include "ThreadGate.h"

#include <QObject>
#include <QString>

#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstBuffer GstBuffer;
typedef struct _GstPad GstPad;

namespace talvora::media {

class SpeakerOutput : public QObject
{
    Q_OBJECT

public:
    // The caps every input pushes: S16LE, 48 kHz, mono, interleaved.
    static const char* const kInputCaps;

    // speaker: a floating sink element, or null for none.
    explicit SpeakerOutput(GstElement* speaker, QObject* parent = nullptr);
    ~SpeakerOutput() override;

    bool start();
    // The name of the probe, unique in the process, for webrtcdsp's "probe".
    QString probeName() const { return m_probeName; }
    // The echo canceller matches what the probe saw to what the microphone
    // hears by running time: before it starts, the mix takes the clock (the
    // system clock, which both use) and base time of the microphone's
    // pipeline, already playing.
    void followClock(GstElement* pipeline);
    // Once playing, the mix's base time stays: its inputs are stamped with
    // it and its sink and mixer run by it. A microphone's pipeline made
    // later (after a rejoin) takes the mix's clock and base time instead,
    // before it plays. True when the mix plays.
    bool isPlaying() const;
    void leadClock(GstElement* pipeline) const;

    // One remote's audio into the mix; it leaves the mix when the last
    // holder lets go of it.
    class Input
    {
    public:
        ~Input();
        // Any thread: takes the buffer (S16LE 48 kHz mono).
        void push(GstBuffer* buffer);

    private:
        friend class SpeakerOutput;
        GstElement* m_pipeline = nullptr;
        GstElement* m_source = nullptr;
        GstPad* m_mixerPad = nullptr;
    };
    std::shared_ptr<Input> addInput();

    // Plays into a fakesink instead of the speaker (it is gone), or into a
    // new speaker (floating; null: stays silent).
    void replaceSpeaker(GstElement* speaker);
    bool playsOnDevice() const { return m_onDevice; }

signals:
    // The speaker failed while playing: the mix goes to a fakesink.
    void speakerLost();
    void failed(const QString& reason);

private:
    void setSink(GstElement* sink);

    QString m_probeName;
    GstElement* m_pipeline = nullptr;
    GstElement* m_tail = nullptr; // what the sink is linked to
    GstElement* m_sink = nullptr;
    GstElement* m_mixer = nullptr;
    bool m_onDevice = false;
    GatePtr m_gate;
};

// Makes `pipeline` run on the system clock rather than on a device's.
void useSystemClock(GstElement* pipeline);

} // namespace talvora::media
