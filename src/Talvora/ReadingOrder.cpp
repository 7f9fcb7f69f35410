#include "ReadingOrder.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace talvora::readingorder {
namespace {

// Children shown on screen, sorted into rows: a child starts a new row when
// its top lies at or below the bottom of the row's first child; rows run top
// to bottom and each row left to right. Controls of one row are often of
// different heights and centred on one line, so their tops differ a little.
QList<QWidget*> childrenInReadingOrder(const QWidget* parent)
{
    QList<QWidget*> children;
    for (QObject* object : parent->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child != nullptr && !child->isWindow() && child->isVisible()) {
            children.append(child);
        }
    }
    std::stable_sort(children.begin(), children.end(),
                     [](const QWidget* a, const QWidget* b) { return a->y() < b->y(); });

    QList<QWidget*> ordered;
    int rowStart = 0;
    while (rowStart < children.size()) {
        const int rowBottom = children[rowStart]->geometry().bottom();
        int rowEnd = rowStart + 1;
        while (rowEnd < children.size() && children[rowEnd]->y() <= rowBottom) {
            ++rowEnd;
        }
        QList<QWidget*> row = children.mid(rowStart, rowEnd - rowStart);
        std::stable_sort(row.begin(), row.end(),
                         [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
        ordered.append(row);
        rowStart = rowEnd;
    }
    return ordered;
}

void collect(const QWidget* parent, QList<QWidget*>& out)
{
    for (QWidget* child : childrenInReadingOrder(parent)) {
        if (child->isEnabled() && (child->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            out.append(child);
        }
        collect(child, out);
    }
}

} // namespace

QList<QWidget*> focusables(const QWidget* root)
{
    QList<QWidget*> out;
    collect(root, out);
    return out;
}

bool moveFocus(QWidget* window, bool forward)
{
    const QList<QWidget*> controls = focusables(window);
    if (controls.isEmpty()) {
        return false;
    }
    QWidget* focused = QApplication::focusWidget();
    const int at = focused != nullptr && focused->window() == window ? controls.indexOf(focused) : -1;
    int next = 0;
    if (at < 0) {
        next = forward ? 0 : controls.size() - 1;
    } else {
        next = (at + (forward ? 1 : controls.size() - 1)) % controls.size();
    }
    controls[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

bool focusFirst(QWidget* root)
{
    const QList<QWidget*> controls = focusables(root);
    if (controls.isEmpty()) {
        return false;
    }
    controls.front()->setFocus(Qt::TabFocusReason);
    return true;
}

} // namespace talvora::readingorder
