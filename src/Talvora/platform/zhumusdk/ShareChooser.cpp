#include "ShareChooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

const QSize kThumbnail(192, 108);

// The thumbnail letterboxed into a fixed frame, so the list's cells line up.
QIcon thumbnailIcon(const QImage& image)
{
    QPixmap framed(kThumbnail);
    framed.fill(QColor(0x16, 0x19, 0x1d));
    if (!image.isNull()) {
        QPainter painter(&framed);
        const QImage scaled = image.scaled(kThumbnail, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        painter.drawImage((kThumbnail.width() - scaled.width()) / 2,
                          (kThumbnail.height() - scaled.height()) / 2, scaled);
    }
    return QIcon(framed);
}

} // namespace

ShareChooser::ShareChooser(ShareSources& sources, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("zhumuShareChooser"));
    setWindowTitle(QStringLiteral("共享屏幕"));
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QStringLiteral("QDialog{background:#ffffff;}QLabel{color:#1f2329;font-size:14px;}"
                                 "QListWidget{border:1px solid #dee0e3;font-size:13px;}"));
    resize(720, 480);

    auto* hint = new QLabel(QStringLiteral("选择要共享的屏幕或窗口"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("shareSourceList"));
    m_list->setAccessibleName(QStringLiteral("可共享的屏幕和窗口"));
    m_list->setViewMode(QListView::IconMode);
    m_list->setIconSize(kThumbnail);
    m_list->setGridSize(kThumbnail + QSize(24, 44));
    m_list->setResizeMode(QListView::Adjust);
    m_list->setMovement(QListView::Static);
    m_list->setWordWrap(true);
    m_candidates = sources.screens() + sources.windows();
    for (const ShareCandidate& candidate : qAsConst(m_candidates)) {
        auto* item = new QListWidgetItem(thumbnailIcon(candidate.thumbnail), candidate.title, m_list);
        item->setToolTip(candidate.title);
    }
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);

    auto* buttons = new QDialogButtonBox(this);
    m_share = buttons->addButton(QStringLiteral("共享"), QDialogButtonBox::AcceptRole);
    m_share->setObjectName(QStringLiteral("startShareButton"));
    m_share->setEnabled(m_list->count() > 0);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(this, &QDialog::accepted, this, [this] {
        const int row = m_list->currentRow();
        if (row >= 0 && row < m_candidates.size())
            emit chosen(m_candidates[row].source);
    });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    m_list->setFocus();
}

} // namespace talvora::zhumu
