#include "ChatPanel.h"

#include "media/MeetingEngine.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

constexpr int kPanelWidth = 300;
// A long meeting's oldest messages give way; the room's history keeps 50.
constexpr int kMaxShown = 500;

QLabel* plainLabel(const QString& text, const char* objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

} // namespace

ChatInput::ChatInput(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("chatInput"));
    setTabChangesFocus(true);
    setPlaceholderText(QStringLiteral("输入消息，Enter 发送，Shift+Enter 换行"));
    setAccessibleName(QStringLiteral("输入聊天消息"));
    connect(this, &QPlainTextEdit::textChanged, this, &ChatInput::enforceLimit);
}

void ChatInput::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !(event->modifiers() & Qt::ShiftModifier)) {
        emit sendRequested();
        return;
    }
    if (enter) {
        if (toPlainText().size() < media::kMaxChatChars)
            textCursor().insertText(QStringLiteral("\n"));
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ChatInput::insertFromMimeData(const QMimeData* source)
{
    // Plain text only, and only as much as still fits.
    if (!source || !source->hasText())
        return;
    const int room = media::kMaxChatChars - toPlainText().size() + textCursor().selectedText().size();
    if (room > 0)
        textCursor().insertText(source->text().left(room));
}

void ChatInput::enforceLimit()
{
    const QString text = toPlainText();
    if (text.size() <= media::kMaxChatChars)
        return;
    // Typed past the limit (an input method, a drop): what is over goes.
    QTextCursor cursor = textCursor();
    const int position = qMin(cursor.position(), media::kMaxChatChars);
    const QSignalBlocker blocker(this);
    setPlainText(text.left(media::kMaxChatChars));
    cursor = textCursor();
    cursor.setPosition(position);
    setTextCursor(cursor);
}

ChatPanel::ChatPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("chatPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(kPanelWidth);

    m_title = plainLabel(QStringLiteral("聊天"), "chatTitle", this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("chatScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list = new QWidget;
    m_list->setObjectName(QStringLiteral("chatMessages"));
    m_list->setAccessibleName(QStringLiteral("聊天消息"));
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(12, 0, 12, 0);
    m_listLayout->setSpacing(10);
    m_listLayout->addStretch();
    m_scroll->setWidget(m_list);

    m_input = new ChatInput(this);
    m_input->setFixedHeight(72);
    m_count = plainLabel(QString(), "chatCount", this);
    m_send = new QPushButton(QStringLiteral("发送"), this);
    m_send->setObjectName(QStringLiteral("chatSendButton"));
    m_send->setEnabled(false);
    connect(m_input, &ChatInput::sendRequested, this, &ChatPanel::send);
    connect(m_send, &QPushButton::clicked, this, &ChatPanel::send);
    connect(m_input, &QPlainTextEdit::textChanged, this, [this] {
        const int length = m_input->toPlainText().size();
        m_send->setEnabled(!m_input->toPlainText().trimmed().isEmpty());
        // Shown near the limit only, where it helps.
        m_count->setText(length >= media::kMaxChatChars - 200
                             ? QStringLiteral("%1/%2").arg(length).arg(media::kMaxChatChars)
                             : QString());
    });

    auto* sendRow = new QHBoxLayout;
    sendRow->setContentsMargins(12, 0, 12, 0);
    sendRow->addWidget(m_count);
    sendRow->addStretch();
    sendRow->addWidget(m_send);
    auto* inputRow = new QHBoxLayout;
    inputRow->setContentsMargins(12, 0, 12, 0);
    inputRow->addWidget(m_input);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 12, 0, 12);
    layout->setSpacing(8);
    layout->addWidget(m_title);
    layout->addWidget(m_scroll, 1);
    layout->addLayout(inputRow);
    layout->addLayout(sendRow);
}

void ChatPanel::send()
{
    const QString text = m_input->toPlainText();
    if (text.trimmed().isEmpty() || text.size() > media::kMaxChatChars)
        return;
    m_input->clear();
    emit sendRequested(text);
}

int ChatPanel::messageCount() const
{
    return m_listLayout->count() - 1; // the stretch
}

QWidget* ChatPanel::messageWidget(int index) const
{
    if (index < 0 || index >= messageCount())
        return nullptr;
    return m_listLayout->itemAt(index)->widget();
}

QString ChatPanel::messageName(int index) const
{
    QWidget* message = messageWidget(index);
    return message ? message->accessibleName() : QString();
}

void ChatPanel::addMessage(const QString& sender, const QDateTime& time, const QString& text)
{
    const QString clock = time.toString(QStringLiteral("HH:mm"));
    auto* message = new QWidget(m_list);
    message->setObjectName(QStringLiteral("chatMessage"));
    message->setFocusPolicy(Qt::TabFocus);
    auto* header = plainLabel(sender + QStringLiteral("  ") + clock, "chatMessageHeader", message);
    auto* body = plainLabel(text, "chatMessageText", message);
    body->setWordWrap(true);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto* layout = new QVBoxLayout(message);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(header);
    layout->addWidget(body);
    message->setAccessibleName(sender + QLatin1Char(' ') + clock + QStringLiteral("：") + text);

    if (messageCount() >= kMaxShown) {
        QLayoutItem* oldest = m_listLayout->takeAt(0);
        delete oldest->widget();
        delete oldest;
    }
    m_listLayout->insertWidget(messageCount(), message);
    // The newest in view, once the layout has placed it.
    QTimer::singleShot(0, m_scroll, [scroll = m_scroll] {
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    });

    QAccessibleEvent alert(message, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    if (isHidden()) { // closed: not merely in a window that is not shown
        ++m_unread;
        emit unreadChanged(m_unread);
    }
}

void ChatPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_unread != 0) {
        m_unread = 0;
        emit unreadChanged(0);
    }
}

} // namespace talvora::zhumu
