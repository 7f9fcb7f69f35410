#pragma once
// One participant in the gallery: the latest video frame, scaled to fit and
// never stretched (letterboxed), or the initials on a coloured disc when the
// camera is off or no frame has come yet; the display name, a mark while the
// microphone is muted, and a blue border while the participant talks.
//
// Tab reaches every tile shown, with a white ring round the one in focus;
// a double-click or Enter on it asks for it large (activated()). The view
// describes the large one for screen readers ("当前演讲者", "已固定").
//
// A new frame repaints this tile alone: it paints every pixel of itself, so
// nothing behind it is drawn again.

#include "media/MeetingEngine.h"

#include <QImage>
#include <QWidget>

namespace talvora::zhumu {

// The letters of the disc: the last two characters of a Chinese name, the
// first letters of the first two words of a Latin one (an e-mail address
// counts by its local part), "?" for an empty name.
QString initialsOf(const QString& displayName);

class VideoTile : public QWidget
{
    Q_OBJECT

public:
    explicit VideoTile(const media::Participant& participant, QWidget* parent = nullptr);

    qint64 participantId() const { return m_participant.id; }
    const media::Participant& participant() const { return m_participant; }
    void setParticipant(const media::Participant& participant);

    // Keeps the frame (implicitly shared, no copy) and repaints the tile.
    void setFrame(const QImage& frame);
    bool hasFrame() const { return !m_frame.isNull(); }
    // Whether the tile shows video now, rather than the disc.
    bool showsVideo() const { return hasFrame() && !m_participant.videoOff; }
    // Where the frame is drawn inside the tile; empty while the disc shows.
    QRect frameRect() const;

    void setTalking(bool talking);
    bool isTalking() const { return m_talking; }
    // The live audio level, dBFS, as a small bar in the corner.
    void setLevel(double dbfs);

    QSize sizeHint() const override { return {320, 180}; }

signals:
    void activated(qint64 id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void paintDisc(QPainter& painter);
    void paintNameBar(QPainter& painter);
    void updateAccessibleName();

    media::Participant m_participant;
    QImage m_frame;
    bool m_talking = false;
    class LevelBar* m_level = nullptr;
};

} // namespace talvora::zhumu
