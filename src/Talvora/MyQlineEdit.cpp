#include "MyQlineEdit.h"

const char* const MyQlineEdit::kPlaceholder = "请输入会议主题";

namespace {

const char* const kTypingStyle =
    "QLineEdit{background:transparent;border-width:0;border-style:outset;color:#333333;text-align:left;"
    "font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";
const char* const kPlaceholderStyle =
    "QLineEdit{background:transparent;border-width:0;border-style:outset;color:#CCCCCC;text-align:left;"
    "font-size:20px;font-family:\"SourceHanSansCN-Regular\";}";

} // namespace

MyQlineEdit::MyQlineEdit(QWidget* parent) : QLineEdit(parent) {}

bool MyQlineEdit::holdsPlaceholder() const
{
    return text() == QString::fromUtf8(kPlaceholder);
}

void MyQlineEdit::focusInEvent(QFocusEvent* event)
{
    if (holdsPlaceholder()) {
        setText(QString());
    }
    setStyleSheet(QString::fromUtf8(kTypingStyle));
    QLineEdit::focusInEvent(event);
}

void MyQlineEdit::focusOutEvent(QFocusEvent* event)
{
    if (text().isEmpty()) {
        setText(QString::fromUtf8(kPlaceholder));
        setStyleSheet(QString::fromUtf8(kPlaceholderStyle));
    } else {
        setStyleSheet(QString::fromUtf8(kTypingStyle));
    }
    QLineEdit::focusOutEvent(event);
}
