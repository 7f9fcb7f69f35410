#pragma once
// The tiles of the meeting window, laid out by GalleryLayout: one page of at
// most 16 at a time, with page buttons when there are more, a line while
// nobody is there yet, and a banner over the tiles (a lost connection).

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
    explicit GalleryView(QWidget* parent = nullptr);

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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void relayout();
    void relayoutAroundStage(const QRect& area);

    QVector<VideoTile*> m_tiles;
    int m_page = 0;
    QLabel* m_waiting;
    QLabel* m_banner;
    QWidget* m_pager;
    QToolButton* m_previous;
    QToolButton* m_next;
    QLabel* m_pageLabel;
    QWidget* m_stage = nullptr;
};

} // namespace talvora::zhumu
