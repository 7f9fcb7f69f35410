#include "VideoTile.h"

#include "LevelBar.h"

#include "MeetingIcons.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>

namespace talvora::zhumu {
namespace {

const QColor kTileBackground(0x2b, 0x30, 0x38);
const QColor kLetterbox(0x14, 0x16, 0x1a);
const QColor kTalkingBorder(0x41, 0x94, 0xff);
constexpr int kTalkingBorderWidth = 3;
const QColor kFocusRing(0xff, 0xff, 0xff);
constexpr int kFocusRingWidth = 2;

// Disc colours, picked by the name so that a person keeps theirs.
const QColor kDiscColours[] = {
    QColor(0x41, 0x94, 0xff), QColor(0x2f, 0xb3, 0x89), QColor(0xf0, 0x8c, 0x2e), QColor(0x8e, 0x6c, 0xef),
    QColor(0xe5, 0x5c, 0x7a), QColor(0x1f, 0xa6, 0xc4), QColor(0xc7, 0x9a, 0x1a), QColor(0x6f, 0x86, 0xa8),
};

QColor discColour(const QString& name)
{
    uint sum = 0;
    for (QChar c : name)
        sum = sum * 31 + c.unicode();
    return kDiscColours[sum % (sizeof kDiscColours / sizeof kDiscColours[0])];
}

bool isHan(QChar c)
{
    return c.script() == QChar::Script_Han;
}

} // namespace

QString initialsOf(const QString& displayName)
{
    QString name = displayName.trimmed();
    const int at = name.indexOf(QLatin1Char('@'));
    if (at > 0)
        name = name.left(at);
    if (name.isEmpty())
        return QStringLiteral("?");
    if (isHan(name.back())) {
        QString han;
        for (auto it = name.crbegin(); it != name.crend() && han.size() < 2 && isHan(*it); ++it)
            han.prepend(*it);
        return han;
    }
    QString letters;
    const QStringList words =
        name.split(QRegularExpression(QStringLiteral("[\\s._\\-]+")), Qt::SkipEmptyParts);
    for (const QString& word : words) {
        if (letters.size() == 2)
            break;
        // A surrogate pair is one character; never split it.
        letters += word.front().isHighSurrogate() && word.size() > 1 ? word.left(2) : word.left(1);
    }
    return letters.isEmpty() ? QStringLiteral("?") : letters.toUpper();
}

VideoTile::VideoTile(const media::Participant& participant, QWidget* parent)
    : QWidget(parent), m_participant(participant)
{
    setObjectName(QStringLiteral("videoTile"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Tab only: a click (of a double-click) should not leave a ring behind.
    setFocusPolicy(Qt::TabFocus);
    updateAccessibleName();
}

void VideoTile::setParticipant(const media::Participant& participant)
{
    m_participant = participant;
    updateAccessibleName();
    update();
}

void VideoTile::setFrame(const QImage& frame)
{
    m_frame = frame;
    if (!m_participant.videoOff)
        update();
}

void VideoTile::setTalking(bool talking)
{
    if (m_talking == talking)
        return;
    m_talking = talking;
    update();
}

QRect VideoTile::frameRect() const
{
    if (!showsVideo() || m_frame.width() <= 0 || m_frame.height() <= 0)
        return {};
    QSize size = m_frame.size();
    size.scale(this->size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void VideoTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (showsVideo()) {
        painter.fillRect(rect(), kLetterbox);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(frameRect(), m_frame);
    } else {
        painter.fillRect(rect(), kTileBackground);
        paintDisc(painter);
    }
    paintNameBar(painter);
    if (m_talking) {
        painter.setPen(QPen(kTalkingBorder, kTalkingBorderWidth));
        painter.setBrush(Qt::NoBrush);
        const int inset = kTalkingBorderWidth / 2;
        painter.drawRect(rect().adjusted(inset, inset, -inset - 1, -inset - 1));
    }
    if (hasFocus()) {
        // Inside the talking border, so that both show.
        painter.setPen(QPen(kFocusRing, kFocusRingWidth));
        painter.setBrush(Qt::NoBrush);
        const int inset = kTalkingBorderWidth + kFocusRingWidth / 2;
        painter.drawRect(rect().adjusted(inset, inset, -inset - 1, -inset - 1));
    }
}

void VideoTile::mouseDoubleClickEvent(QMouseEvent*)
{
    emit activated(m_participant.id);
}

void VideoTile::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit activated(m_participant.id);
        return;
    }
    QWidget::keyPressEvent(event);
}

void VideoTile::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void VideoTile::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

void VideoTile::paintDisc(QPainter& painter)
{
    const int diameter = std::max(24, std::min(width(), height()) * 2 / 5);
    const QRect disc((width() - diameter) / 2, (height() - diameter) / 2 - 8, diameter, diameter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(discColour(m_participant.displayName));
    painter.drawEllipse(disc);
    QFont font = this->font();
    font.setPixelSize(std::max(10, diameter * 3 / 8));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(disc, Qt::AlignCenter, initialsOf(m_participant.displayName));
}

void VideoTile::paintNameBar(QPainter& painter)
{
    QFont font = this->font();
    font.setPixelSize(13);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int height = metrics.height() + 8;
    const int mark = m_participant.audioMuted ? 16 : 0;
    const int maxText = std::max(0, width() - 24 - mark - (mark ? 4 : 0));
    const QString name = metrics.elidedText(m_participant.displayName, Qt::ElideRight, maxText);
    const int barWidth = 12 + mark + (mark ? 4 : 0) + metrics.horizontalAdvance(name);
    const QRect bar(6, this->height() - height - 6, barWidth, height);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 150));
    painter.drawRoundedRect(bar, 4, 4);
    int x = bar.left() + 6;
    if (mark) {
        paintMeetingIcon(painter, QRectF(x, bar.center().y() - 7.5, 16, 16), MeetingIcon::MicrophoneOff,
                         Qt::white);
        x += mark + 4;
    }
    painter.setPen(Qt::white);
    // drawText takes the name as plain text: markup in a name stays visible.
    painter.drawText(QRect(x, bar.top(), bar.right() - x, bar.height()), Qt::AlignVCenter | Qt::AlignLeft,
                     name);
}

void VideoTile::updateAccessibleName()
{
    QString name = m_participant.displayName;
    if (m_participant.audioMuted)
        name += QStringLiteral("，已静音");
    if (m_participant.videoOff)
        name += QStringLiteral("，视频已关闭");
    setAccessibleName(name);
}

void VideoTile::setLevel(double dbfs)
{
    if (!m_level) {
        m_level = new LevelBar(this);
        m_level->show();
    }
    m_level->move(width() - m_level->width() - 10, height() - m_level->height() - 10);
    m_level->setLevel(dbfs);
}

} // namespace talvora::zhumu
