#pragma once
// The meeting window's chat: messages to everyone, each with its sender and
// time (HH:MM) over its text, and a box to write in. Texts are shown as
// plain text, whatever markup they hold. Enter sends, Shift+Enter starts a
// new line; the box takes at most 2,000 characters. Messages that arrive
// while the panel is hidden count as unread until it shows; each is
// announced to screen readers as it arrives.

#include <QDateTime>
#include <QPlainTextEdit>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace talvora::zhumu {

// The writing box: Enter asks to send, Shift+Enter breaks the line, and
// nothing beyond the limit gets in (typed or pasted).
class ChatInput : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ChatInput(QWidget* parent = nullptr);
    // Pasting and dropping: plain text, as much as still fits.
    void insertFromMimeData(const QMimeData* source) override;

signals:
    void sendRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void enforceLimit();
};

class ChatPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ChatPanel(QWidget* parent = nullptr);

    void addMessage(const QString& sender, const QDateTime& time, const QString& text);
    int unreadCount() const { return m_unread; }
    int messageCount() const;
    // A message as read aloud: "{sender} {HH:MM}：{text}".
    QString messageName(int index) const;
    ChatInput* input() const { return m_input; }
    QPushButton* sendButton() const { return m_send; }

signals:
    // The text to send, trimmed of nothing; the box is already cleared.
    void sendRequested(const QString& text);
    void unreadChanged(int count);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void send();
    QWidget* messageWidget(int index) const;

    QLabel* m_title;
    QScrollArea* m_scroll;
    QWidget* m_list;
    QVBoxLayout* m_listLayout;
    ChatInput* m_input;
    QLabel* m_count;
    QPushButton* m_send;
    int m_unread = 0;
};

} // namespace talvora::zhumu
