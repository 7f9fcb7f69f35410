#pragma once
// Small builders for the fixed layouts of the pages: every box has spacing 0
// and explicit margins, every control a fixed size and its member name as its
// object name (the style sheet selects by it). Labels show their text as
// plain text: topics, names and codes come from the service or the user, and
// markup in them is to be read, not rendered.

#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>

#include <type_traits>

namespace talvora::build {

template <typename Widget>
Widget* control(QWidget* parent, const char* objectName, const QString& text, int width, int height)
{
    auto* widget = new Widget(text, parent);
    if constexpr (std::is_base_of_v<QLabel, Widget>) {
        widget->setTextFormat(Qt::PlainText);
    }
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setFixedSize(width, height);
    return widget;
}

template <typename Widget>
Widget* control(QWidget* parent, const char* objectName, const char* utf8Text, int width, int height)
{
    return control<Widget>(parent, objectName, QString::fromUtf8(utf8Text), width, height);
}

template <typename Box> Box* box(int left, int top, int right, int bottom)
{
    auto* layout = new Box;
    layout->setSpacing(0);
    layout->setContentsMargins(left, top, right, bottom);
    return layout;
}

inline QHBoxLayout* hbox(int left, int top, int right, int bottom)
{
    return box<QHBoxLayout>(left, top, right, bottom);
}

inline QVBoxLayout* vbox(int left, int top, int right, int bottom)
{
    return box<QVBoxLayout>(left, top, right, bottom);
}

inline QSpacerItem* fixedSpacer(int width, int height)
{
    return new QSpacerItem(width, height, QSizePolicy::Fixed, QSizePolicy::Fixed);
}

// A fixed gap between the controls of a box: that wide in a row, that high
// in a column.
struct Gap
{
    int size;
};

inline void addToBox(QHBoxLayout* box, Gap gap)
{
    box->addItem(fixedSpacer(gap.size, 2));
}

inline void addToBox(QVBoxLayout* box, Gap gap)
{
    box->addItem(fixedSpacer(2, gap.size));
}

inline void addToBox(QBoxLayout* box, QWidget* widget)
{
    box->addWidget(widget);
}

// A box with the given margins holding the controls and gaps in order.
template <typename... Items> QHBoxLayout* hboxOf(int left, int top, int right, int bottom, Items... items)
{
    auto* layout = hbox(left, top, right, bottom);
    (addToBox(layout, items), ...);
    return layout;
}

template <typename... Items> QVBoxLayout* vboxOf(int left, int top, int right, int bottom, Items... items)
{
    auto* layout = vbox(left, top, right, bottom);
    (addToBox(layout, items), ...);
    return layout;
}

// The top-level box of a page: no margins, spacing 0.
inline QVBoxLayout* pageLayout(QWidget* page)
{
    auto* layout = vbox(0, 0, 0, 0);
    page->setLayout(layout);
    return layout;
}

} // namespace talvora::build
