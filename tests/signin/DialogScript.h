#pragma once
// Drives the cloud SDK's modal sign-in dialog from inside the event loop that
// its exec() runs: each step waits until its condition holds, then acts. A
// script that stalls gives up after a deadline and cancels the dialog, so a
// broken build fails instead of hanging.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace signin_test {

inline QDialog* visibleSignInDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("SignInDialog") && widget->isVisible())
            return qobject_cast<QDialog*>(widget);
    }
    return nullptr;
}

template <typename T> T* part(QDialog* dialog, const char* name)
{
    return dialog ? dialog->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

inline void typeInto(QDialog* dialog, const char* field, const std::string& text)
{
    QLineEdit* edit = part<QLineEdit>(dialog, field);
    edit->clear();
    QTest::keyClicks(edit, QString::fromStdString(text));
}

inline bool showsMessage(QDialog* dialog, const char* text)
{
    QLabel* label = part<QLabel>(dialog, "m_pLabMessage");
    return label && label->isVisible() && label->text() == QString::fromUtf8(text);
}

class DialogScript
{
public:
    struct Step
    {
        std::function<bool(QDialog*)> ready;
        std::function<void(QDialog*)> act;
    };

    explicit DialogScript(std::vector<Step> steps, int deadlineMs = 40000) : m_steps(std::move(steps))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        m_deadline.start();
        m_deadlineMs = deadlineMs;
        m_timer.start();
    }

    bool finished() const { return m_next == m_steps.size(); }
    bool timedOut() const { return m_timedOut; }

private:
    void tick()
    {
        QDialog* dialog = visibleSignInDialog();
        if (finished()) {
            m_timer.stop();
            return;
        }
        if (m_deadline.elapsed() > m_deadlineMs) {
            m_timedOut = true;
            m_timer.stop();
            if (dialog)
                dialog->reject();
            return;
        }
        if (!dialog || !m_steps[m_next].ready(dialog))
            return;
        Step& step = m_steps[m_next++];
        step.act(dialog);
    }

    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_timer;
    QElapsedTimer m_deadline;
    qint64 m_deadlineMs = 0;
    bool m_timedOut = false;
};

inline bool always(QDialog*)
{
    return true;
}

inline void click(QDialog* dialog, const char* button)
{
    QTest::mouseClick(part<QPushButton>(dialog, button), Qt::LeftButton);
}

} // namespace signin_test
