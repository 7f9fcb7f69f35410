#include "ParticipantsPanel.h"

#include "LevelBar.h"

#include "MeetingIcons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVariant>

#include <algorithm>

namespace talvora::zhumu {
namespace {

// As wide as the chat panel; a host's row holds "静音" and "移出会议" too.
constexpr int kPanelWidth = 300;

QLabel* iconLabel(QWidget* parent, MeetingIcon icon, const QString& accessibleName)
{
    auto* label = new QLabel(parent);
    label->setPixmap(meetingIcon(icon, QColor(0xc9, 0xcd, 0xd4)).pixmap(QSize(18, 18)));
    label->setAccessibleName(accessibleName);
    label->setToolTip(accessibleName);
    return label;
}

} // namespace

ParticipantsPanel::ParticipantsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("participantsPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(kPanelWidth);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("participantsTitle"));
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("participantsScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rows = new QWidget;
    m_rows->setObjectName(QStringLiteral("participantRows"));
    m_rowLayout = new QVBoxLayout(m_rows);
    m_rowLayout->setContentsMargins(0, 0, 0, 0);
    m_rowLayout->setSpacing(0);
    m_rowLayout->addStretch();
    scroll->setWidget(m_rows);

    m_muteAll = new QToolButton(this);
    m_muteAll->setObjectName(QStringLiteral("muteAllButton"));
    m_muteAll->setText(QStringLiteral("全体静音"));
    m_muteAll->setFocusPolicy(Qt::StrongFocus);
    m_muteAll->hide();
    connect(m_muteAll, &QToolButton::clicked, this, &ParticipantsPanel::muteAllRequested);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 12);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addWidget(scroll, 1);
    layout->addWidget(m_muteAll, 0, Qt::AlignHCenter);
    setParticipants({});
}

void ParticipantsPanel::setHostControls(bool host)
{
    if (m_host == host)
        return;
    m_host = host;
    m_muteAll->setVisible(host);
    setParticipants(QVector<media::Participant>(m_participants));
}

QToolButton* ParticipantsPanel::rowButton(qint64 id, const char* objectName) const
{
    for (int i = 0; i < m_rowLayout->count(); ++i) {
        QWidget* row = m_rowLayout->itemAt(i)->widget();
        if (row && row->property("participantId").toLongLong() == id)
            return row->findChild<QToolButton*>(QString::fromLatin1(objectName));
    }
    return nullptr;
}

QToolButton* ParticipantsPanel::muteButton(qint64 id) const
{
    return rowButton(id, "muteParticipantButton");
}

QToolButton* ParticipantsPanel::removeButton(qint64 id) const
{
    return rowButton(id, "removeParticipantButton");
}

void ParticipantsPanel::setParticipants(const QVector<media::Participant>& participants)
{
    m_participants = participants;
    m_title->setText(QStringLiteral("参会者 (%1)").arg(participants.size()));
    while (m_rowLayout->count() > 1) {
        QLayoutItem* item = m_rowLayout->takeAt(0);
        // Later: a row's own button may be what led here.
        if (QWidget* row = item->widget()) {
            row->hide();
            row->deleteLater();
        }
        delete item;
    }
    QVector<media::Participant> ordered = participants;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const media::Participant& a, const media::Participant& b) {
                         const int rankA = a.self ? 0 : a.host ? 1 : 2;
                         const int rankB = b.self ? 0 : b.host ? 1 : 2;
                         return rankA < rankB;
                     });
    for (int i = 0; i < ordered.size(); ++i)
        m_rowLayout->insertWidget(i, makeRow(ordered[i]));
}

void ParticipantsPanel::setLevel(qint64 id, double dbfs)
{
    if (!isVisible())
        return;
    for (LevelBar* bar : m_rows->findChildren<LevelBar*>()) {
        if (bar->property("participantId").toLongLong() == id)
            bar->setLevel(dbfs);
    }
}

QStringList ParticipantsPanel::rowNames() const
{
    QStringList names;
    for (int i = 0; i < m_rowLayout->count(); ++i) {
        if (QWidget* row = m_rowLayout->itemAt(i)->widget())
            names << row->accessibleName();
    }
    return names;
}

QWidget* ParticipantsPanel::makeRow(const media::Participant& participant)
{
    auto* row = new QWidget(m_rows);
    row->setObjectName(QStringLiteral("participantRow"));
    row->setProperty("participantId", participant.id);
    const bool moderated = m_host && !participant.self;
    QString marks;
    if (participant.host)
        marks += QStringLiteral("(主持人)");
    if (participant.self)
        marks += QStringLiteral("(我)");

    auto* name = new QLabel(row);
    name->setObjectName(QStringLiteral("participantName"));
    name->setTextFormat(Qt::PlainText);
    name->setToolTip(participant.displayName);
    auto* markLabel = new QLabel(marks, row);
    markLabel->setObjectName(QStringLiteral("participantMarks"));

    const QString audio = participant.audioMuted ? QStringLiteral("已静音") : QStringLiteral("麦克风已开启");
    const QString video = participant.videoOff ? QStringLiteral("视频已关闭") : QStringLiteral("视频已开启");
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(16, 8, 12, 8);
    layout->setSpacing(4);
    layout->addWidget(name);
    layout->addWidget(markLabel);
    layout->addStretch();
    auto* level = new LevelBar(row);
    level->setProperty("participantId", participant.id);
    layout->addWidget(level);
    layout->addWidget(
        iconLabel(row, participant.audioMuted ? MeetingIcon::MicrophoneOff : MeetingIcon::Microphone, audio));
    layout->addWidget(
        iconLabel(row, participant.videoOff ? MeetingIcon::CameraOff : MeetingIcon::Camera, video));
    if (moderated) {
        const qint64 id = participant.id;
        auto* mute = new QToolButton(row);
        mute->setObjectName(QStringLiteral("muteParticipantButton"));
        mute->setText(QStringLiteral("静音"));
        mute->setAccessibleName(QStringLiteral("静音 ") + participant.displayName);
        mute->setFocusPolicy(Qt::StrongFocus);
        mute->setEnabled(!participant.audioMuted);
        connect(mute, &QToolButton::clicked, this, [this, id] { emit muteRequested(id); });
        auto* remove = new QToolButton(row);
        remove->setObjectName(QStringLiteral("removeParticipantButton"));
        remove->setText(QStringLiteral("移出会议"));
        remove->setAccessibleName(QStringLiteral("移出会议 ") + participant.displayName);
        remove->setFocusPolicy(Qt::StrongFocus);
        connect(remove, &QToolButton::clicked, this, [this, id] { emit removeRequested(id); });
        layout->addWidget(mute);
        layout->addWidget(remove);
    }
    // The name gets what the rest of the row leaves, in the window's fonts,
    // with room for a scroll bar: a row wider than the panel would be cut.
    row->ensurePolished();
    const int rest = layout->sizeHint().width() - name->sizeHint().width() + 1 /* the panel's border */ +
                     style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    name->setText(name->fontMetrics().elidedText(participant.displayName, Qt::ElideRight,
                                                 std::max(kPanelWidth - rest, 40)));
    row->setAccessibleName(participant.displayName + marks + QStringLiteral("，") + audio +
                           QStringLiteral("，") + video);
    return row;
}

} // namespace talvora::zhumu
