#pragma once
// The tiles of the meeting window, laid out by GalleryLayout: one page of at
// most 16 at a time, with page buttons when there are more, a line while
// nobody is there yet, and a banner over the tiles (a lost connection).
//
// In the speaker view one tile is large and the others are in a strip
// (SpeakerLayout), paged the same way: the active speaker, or before anyone
// has spoken the first of the others. A pinned tile is large in either view
// until "取消固定" (or another double-click or Enter on it).

#include "media/MeetingEngine.h"

#include <QVector>
#include <QWidget>

class QLabel;
class QToolButton;

namespace talvora::zhumu {

class VideoTile;

class GalleryView : public QWidget
{
    Q_OBJECT

public:
    enum class Mode
    {
        Gallery,
        Speaker,
    };

    explicit GalleryView(QWidget* parent = nullptr);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    // 0: nobody yet.
    void setActiveSpeaker(qint64 id);
    qint64 activeSpeaker() const { return m_speaker; }
    // 0 unpins.
    void pin(qint64 id);
    qint64 pinned() const { return m_pinned; }
    // The tile shown large now; null in the gallery.
    VideoTile* largeTile() const;
    QToolButton* unpinButton() const { return m_unpin; }
    // What Tab goes through, in reading order: the unpin button, the tiles
    // shown, the page buttons.
    QList<QWidget*> focusOrder() const;

    // This participant's tile comes first, the others in the order they came.
    VideoTile* addTile(const media::Participant& participant);
    void removeTile(qint64 id);
    VideoTile* tile(qint64 id) const;
    const QVector<VideoTile*>& tiles() const { return m_tiles; }

    int page() const { return m_page; }
    int pageCount() const;
    void setPage(int page);

    // Shown over the top of the tiles; an empty text hides it.
    void setBanner(const QString& text);
    QLabel* banner() const { return m_banner; }

    // A screen share: `stage` (a child of this view) large, the tiles in a
    // strip beside it (ShareLayout); null: the gallery again.
    void setStage(QWidget* stage);
    QWidget* stage() const { return m_stage; }

signals:
    // The tiles moved, came or went: the window puts Tab's order right.
    void arranged();
    void pinnedChanged(qint64 id);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    // Shows the page buttons when there is more than one page, below `area`,
    // which loses their room.
    void placePager(QRect& area, int page, int pages);
    void layoutGallery(QRect area);
    void layoutSpeaker(QRect area);
    void relayoutAroundStage(const QRect& area);

    QVector<VideoTile*> m_tiles;
    Mode m_mode = Mode::Gallery;
    qint64 m_speaker = 0;
    qint64 m_pinned = 0;
    int m_page = 0;
    int m_pages = 1;
    QToolButton* m_unpin;
    QLabel* m_waiting;
    QLabel* m_banner;
    QWidget* m_pager;
    QToolButton* m_previous;
    QToolButton* m_next;
    QLabel* m_pageLabel;
    QWidget* m_stage = nullptr;
};

} // namespace talvora::zhumu
