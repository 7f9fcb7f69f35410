#include "ParticipantsPanel.h"

#include "LevelBar.h"

#include "MeetingIcons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QVariant>

#include <algorithm>

namespace talvora::zhumu {
namespace {

constexpr int kPanelWidth = 260;

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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addWidget(scroll, 1);
    setParticipants({});
}

void ParticipantsPanel::setParticipants(const QVector<media::Participant>& participants)
{
    m_title->setText(QStringLiteral("参会者 (%1)").arg(participants.size()));
    while (m_rowLayout->count() > 1) {
        QLayoutItem* item = m_rowLayout->takeAt(0);
        delete item->widget();
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
    QString marks;
    if (participant.host)
        marks += QStringLiteral("(主持人)");
    if (participant.self)
        marks += QStringLiteral("(我)");

    auto* name = new QLabel(row);
    name->setObjectName(QStringLiteral("participantName"));
    name->setTextFormat(Qt::PlainText);
    const int room = kPanelWidth - 100 - name->fontMetrics().horizontalAdvance(marks);
    name->setText(
        name->fontMetrics().elidedText(participant.displayName, Qt::ElideRight, std::max(room, 40)));
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
    row->setAccessibleName(participant.displayName + marks + QStringLiteral("，") + audio +
                           QStringLiteral("，") + video);
    return row;
}

} // namespace talvora::zhumu
