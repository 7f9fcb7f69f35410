#include "GalleryView.h"

#include "GalleryLayout.h"
#include "ShareLayout.h"
#include "SpeakerLayout.h"
#include "VideoTile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace talvora::zhumu {
namespace {

constexpr int kMargin = 12;
constexpr int kSpacing = 8;
constexpr int kPagerHeight = 36;
constexpr int kBannerHeight = 36;

} // namespace

GalleryView::GalleryView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("galleryView"));
    setAttribute(Qt::WA_StyledBackground);

    m_waiting = new QLabel(QStringLiteral("正在加入会议…"), this);
    m_waiting->setObjectName(QStringLiteral("galleryWaiting"));
    m_waiting->setAlignment(Qt::AlignCenter);

    m_pager = new QWidget(this);
    m_pager->setObjectName(QStringLiteral("galleryPager"));
    m_previous = new QToolButton(m_pager);
    m_previous->setObjectName(QStringLiteral("previousPageButton"));
    m_previous->setText(QStringLiteral("上一页"));
    m_next = new QToolButton(m_pager);
    m_next->setObjectName(QStringLiteral("nextPageButton"));
    m_next->setText(QStringLiteral("下一页"));
    m_pageLabel = new QLabel(m_pager);
    m_pageLabel->setObjectName(QStringLiteral("pageLabel"));
    for (QToolButton* button : {m_previous, m_next})
        button->setFocusPolicy(Qt::StrongFocus);
    auto* pagerLayout = new QHBoxLayout(m_pager);
    pagerLayout->setContentsMargins(0, 0, 0, 0);
    pagerLayout->addStretch();
    pagerLayout->addWidget(m_previous);
    pagerLayout->addWidget(m_pageLabel);
    pagerLayout->addWidget(m_next);
    pagerLayout->addStretch();
    connect(m_previous, &QToolButton::clicked, this, [this] { setPage(m_page - 1); });
    connect(m_next, &QToolButton::clicked, this, [this] { setPage(m_page + 1); });

    m_banner = new QLabel(this);
    m_banner->setObjectName(QStringLiteral("meetingBanner"));
    m_banner->setAlignment(Qt::AlignCenter);
    m_banner->hide();

    m_unpin = new QToolButton(this);
    m_unpin->setObjectName(QStringLiteral("unpinButton"));
    m_unpin->setText(QStringLiteral("取消固定"));
    m_unpin->setFocusPolicy(Qt::StrongFocus);
    m_unpin->hide();
    connect(m_unpin, &QToolButton::clicked, this, [this] { pin(0); });

    relayout();
}

void GalleryView::setMode(Mode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    m_page = 0;
    relayout();
}

void GalleryView::setActiveSpeaker(qint64 id)
{
    if (m_speaker == id)
        return;
    m_speaker = id;
    if (m_mode == Mode::Speaker && !m_pinned)
        relayout();
}

void GalleryView::pin(qint64 id)
{
    if (id && !tile(id))
        return;
    if (m_pinned == id)
        return;
    m_pinned = id;
    m_page = 0;
    relayout();
    emit pinnedChanged(id);
}

VideoTile* GalleryView::largeTile() const
{
    if (m_pinned)
        return tile(m_pinned);
    if (m_mode != Mode::Speaker || m_tiles.isEmpty())
        return nullptr;
    if (VideoTile* speaker = tile(m_speaker))
        return speaker;
    // Before anyone has spoken: somebody else, rather than oneself.
    for (VideoTile* candidate : m_tiles) {
        if (!candidate->participant().self)
            return candidate;
    }
    return m_tiles.front();
}

QList<QWidget*> GalleryView::focusOrder() const
{
    QList<QWidget*> order;
    order << m_unpin;
    VideoTile* large = largeTile();
    // The strip reads before the large tile below it.
    for (VideoTile* tile : m_tiles) {
        if (tile != large)
            order << tile;
    }
    if (large)
        order << large;
    order << m_previous << m_next;
    return order;
}

VideoTile* GalleryView::addTile(const media::Participant& participant)
{
    if (VideoTile* existing = tile(participant.id))
        return existing;
    auto* tile = new VideoTile(participant, this);
    connect(tile, &VideoTile::activated, this, [this](qint64 id) { pin(m_pinned == id ? 0 : id); });
    if (participant.self)
        m_tiles.prepend(tile);
    else
        m_tiles.push_back(tile);
    relayout();
    return tile;
}

void GalleryView::removeTile(qint64 id)
{
    VideoTile* gone = tile(id);
    if (!gone)
        return;
    m_tiles.removeOne(gone);
    delete gone;
    if (m_speaker == id)
        m_speaker = 0;
    if (m_pinned == id) {
        m_pinned = 0;
        emit pinnedChanged(0);
    }
    relayout();
}

VideoTile* GalleryView::tile(qint64 id) const
{
    for (VideoTile* tile : m_tiles) {
        if (tile->participantId() == id)
            return tile;
    }
    return nullptr;
}

int GalleryView::pageCount() const
{
    return m_pages;
}

void GalleryView::setPage(int page)
{
    m_page = page;
    relayout();
}

void GalleryView::setBanner(const QString& text)
{
    m_banner->setText(text);
    m_banner->setVisible(!text.isEmpty());
    m_banner->raise();
}

void GalleryView::resizeEvent(QResizeEvent*)
{
    relayout();
}

void GalleryView::relayout()
{
    m_waiting->setVisible(m_tiles.isEmpty());
    m_waiting->setGeometry(rect());
    QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    // A share takes the large place from any tile, pinned or speaking.
    VideoTile* large = m_stage ? nullptr : largeTile();
    if (m_stage) {
        m_unpin->hide();
        relayoutAroundStage(area);
    } else if (large) {
        layoutSpeaker(area);
    } else {
        layoutGallery(area);
    }
    // A screen reader tells which tile is large, and why.
    for (VideoTile* tile : qAsConst(m_tiles)) {
        const QString description = tile != large ? QString()
                                    : m_pinned    ? QStringLiteral("已固定")
                                                  : QStringLiteral("当前演讲者");
        if (tile->accessibleDescription() != description)
            tile->setAccessibleDescription(description);
    }
    m_banner->setGeometry(0, 0, width(), kBannerHeight);
    m_banner->raise();
    emit arranged();
}

void GalleryView::placePager(QRect& area, int page, int pages)
{
    m_page = page;
    m_pages = pages;
    const bool paged = pages > 1;
    m_pager->setVisible(paged);
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(page + 1).arg(pages));
    m_previous->setEnabled(page > 0);
    m_next->setEnabled(page + 1 < pages);
    if (paged) {
        m_pager->setGeometry(area.left(), area.bottom() - kPagerHeight + 1, area.width(), kPagerHeight);
        area.setBottom(area.bottom() - kPagerHeight - kSpacing);
    }
}

void GalleryView::layoutGallery(QRect area)
{
    m_unpin->hide();
    const GalleryPage page = galleryPage(m_tiles.size(), m_page);
    placePager(area, page.page, page.pages);
    const QVector<QRect> cells = galleryCells(area.size(), page.count, kSpacing);
    for (int i = 0; i < m_tiles.size(); ++i) {
        const int cell = i - page.first;
        const bool shown = cell >= 0 && cell < cells.size();
        if (shown)
            m_tiles[i]->setGeometry(cells[cell].translated(area.topLeft()));
        m_tiles[i]->setVisible(shown);
    }
}

void GalleryView::layoutSpeaker(QRect area)
{
    VideoTile* large = largeTile();
    QVector<VideoTile*> others;
    for (VideoTile* tile : qAsConst(m_tiles)) {
        if (tile != large)
            others << tile;
    }
    // The pager's room is taken first when the strip cannot hold everyone.
    const int capacity = std::max(1, stripCapacity(area.width(), kSpacing));
    const int pages = std::max(1, (int(others.size()) + capacity - 1) / capacity);
    placePager(area, std::clamp(m_page, 0, pages - 1), pages);
    const int first = m_page * capacity;
    const SpeakerCells cells =
        speakerLayout(area.size(), std::min<int>(capacity, others.size() - first), kSpacing);
    for (int i = 0; i < others.size(); ++i) {
        const int cell = i - first;
        const bool shown = cell >= 0 && cell < cells.small.size();
        if (shown)
            others[i]->setGeometry(cells.small[cell].translated(area.topLeft()));
        others[i]->setVisible(shown);
    }
    large->setGeometry(cells.large.translated(area.topLeft()));
    large->setVisible(true);
    large->lower(); // under the unpin button
    m_unpin->setVisible(m_pinned != 0);
    if (m_pinned) {
        m_unpin->adjustSize();
        m_unpin->move(area.topLeft() + cells.large.topLeft() + QPoint(kSpacing, kSpacing));
        m_unpin->raise();
    }
}

void GalleryView::setStage(QWidget* stage)
{
    m_stage = stage;
    if (stage)
        stage->setParent(this);
    relayout();
}

void GalleryView::relayoutAroundStage(const QRect& area)
{
    m_pager->hide();
    const ShareArrangement cells = shareArrangement(area.size(), m_tiles.size(), kSpacing);
    m_stage->setGeometry(cells.share.translated(area.topLeft()));
    m_stage->show();
    for (int i = 0; i < m_tiles.size(); ++i) {
        const bool shown = i < cells.strip.size();
        if (shown)
            m_tiles[i]->setGeometry(cells.strip[i].translated(area.topLeft()));
        m_tiles[i]->setVisible(shown);
    }
    m_banner->setGeometry(0, 0, width(), kBannerHeight);
    m_banner->raise();
}

} // namespace talvora::zhumu
