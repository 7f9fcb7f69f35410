#pragma once
// "You are muted" while the user talks into a muted microphone: the engine
// keeps measuring the microphone while muted (nothing is sent), and when
// its level stays above speech for a second the window shows, for 3 s and
// at most once every 30 s, a non-modal hint with a button that unmutes.

#include <QElapsedTimer>
#include <QFrame>
#include <QTimer>

namespace talvora::zhumu {

// When to show the hint, from levels and their times (ms, any origin).
class MutedSpeechDetector
{
public:
    static constexpr double kSpeechDbfs = -45.0;
    static constexpr qint64 kSustainMs = 1000;
    static constexpr qint64 kQuietMs = 30000;

    // True when the hint is to be shown now.
    bool onLevel(qint64 nowMs, double dbfs, bool muted);

private:
    qint64 m_loudSince = -1;
    qint64 m_shownAt = -1;
};

class MutedHint : public QFrame
{
    Q_OBJECT

public:
    static constexpr int kShowMs = 3000;

    explicit MutedHint(QWidget* parent);

    // The microphone's level (dBFS), and whether it is muted.
    void onLevel(double dbfs, bool muted);

signals:
    void unmuteClicked();

private:
    void place();
    bool eventFilter(QObject* watched, QEvent* event) override;

    MutedSpeechDetector m_detector;
    QElapsedTimer m_clock;
    QTimer m_hide;
};

} // namespace talvora::zhumu
