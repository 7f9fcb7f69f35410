#include "GalleryView.h"

#include "GalleryLayout.h"
#include "ShareLayout.h"
#include "VideoTile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

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

    relayout();
}

VideoTile* GalleryView::addTile(const media::Participant& participant)
{
    if (VideoTile* existing = tile(participant.id))
        return existing;
    auto* tile = new VideoTile(participant, this);
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
    return galleryPage(m_tiles.size(), 0).pages;
}

void GalleryView::setPage(int page)
{
    m_page = galleryPage(m_tiles.size(), page).page;
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
    const GalleryPage page = galleryPage(m_tiles.size(), m_page);
    m_page = page.page;
    const bool paged = page.pages > 1;
    m_pager->setVisible(paged);
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(page.page + 1).arg(page.pages));
    m_previous->setEnabled(page.page > 0);
    m_next->setEnabled(page.page + 1 < page.pages);
    m_waiting->setVisible(m_tiles.isEmpty());
    m_waiting->setGeometry(rect());

    QRect area = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (m_stage) {
        relayoutAroundStage(area);
        return;
    }
    if (paged) {
        m_pager->setGeometry(area.left(), area.bottom() - kPagerHeight + 1, area.width(), kPagerHeight);
        area.setBottom(area.bottom() - kPagerHeight - kSpacing);
    }
    const QVector<QRect> cells = galleryCells(area.size(), page.count, kSpacing);
    for (int i = 0; i < m_tiles.size(); ++i) {
        const int cell = i - page.first;
        const bool shown = cell >= 0 && cell < cells.size();
        if (shown)
            m_tiles[i]->setGeometry(cells[cell].translated(area.topLeft()));
        m_tiles[i]->setVisible(shown);
    }
    m_banner->setGeometry(0, 0, width(), kBannerHeight);
    m_banner->raise();
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
