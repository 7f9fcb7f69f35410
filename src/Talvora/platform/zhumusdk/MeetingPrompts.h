#pragma once
// The meeting window's questions and notices. Neither blocks: a question
// answers through a callback once the user has chosen, so that the meeting
// goes on (and may even end) while it is open. A test hook answers instead
// of showing anything.

#include <QString>

#include <functional>

class QWidget;

namespace talvora::zhumu {

// Asks `text` with a confirming and a cancelling button, modal to `parent`'s
// window only. `answer` runs once with the choice, unless `parent` goes first.
void askToConfirm(QWidget* parent, const QString& text, const QString& confirm, const QString& cancel,
                  std::function<void(bool confirmed)> answer);

// Shows `text` in a small box of its own with an OK button, without waiting.
void showNotice(QWidget* parent, const QString& text);

// Replaces the boxes for tests. The hook receives the text (and, for a
// question, the confirming button's text; empty for a notice) and returns
// the answer to a question. An empty hook restores the boxes.
using PromptHook = std::function<bool(const QString& text, const QString& confirm)>;
void setPromptHook(PromptHook hook);

} // namespace talvora::zhumu
