#include "MainWindowKeys.h"

#include "LeftMenu.h"
#include "ReadingOrder.h"
#include "Talvora.h"

#include <QApplication>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>

MainWindowKeys::MainWindowKeys(Talvora& window) : QObject(&window), m_window(window)
{
    const struct
    {
        Qt::Key digit;
        QPushButton* entry;
    } entries[] = {{Qt::Key_1, window.m_pLeftMenu->m_pBtnMyMeet},
                   {Qt::Key_2, window.m_pLeftMenu->m_pBtnCreateMeet},
                   {Qt::Key_3, window.m_pLeftMenu->m_pBtnJoinMeet}};
    for (const auto& entry : entries) {
        auto* shortcut = new QShortcut(QKeySequence(int(Qt::CTRL) | int(entry.digit)), &window);
        QPushButton* button = entry.entry;
        connect(shortcut, &QShortcut::activated, this, [this, button]() { choose(button); });
    }
    new QShortcut(QKeySequence(Qt::Key_Escape), &window);

    // A page (or pane) that replaces the one holding the focus takes the
    // focus to its first control; Qt would pick the first in the order of
    // creation ("删除会议" on the edit page).
    for (QStackedWidget* stack : window.findChildren<QStackedWidget*>()) {
        connect(stack, &QStackedWidget::currentChanged, this, [stack]() {
            QWidget* page = stack->currentWidget();
            QWidget* focused = QApplication::focusWidget();
            if (page != nullptr && focused != nullptr && page->isAncestorOf(focused)) {
                talvora::readingorder::focusFirst(page);
            }
        });
    }
}

void MainWindowKeys::choose(QPushButton* entry)
{
    entry->click();
    talvora::readingorder::focusFirst(m_window.m_pStackedWidget->currentWidget());
}
