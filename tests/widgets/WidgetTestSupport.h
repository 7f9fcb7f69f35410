#pragma once
// Shared by the widget tests: error boxes recorded instead of shown, modal
// dialogs answered from inside their exec(), and mouse events with chosen
// global positions (the offscreen platform has no real cursor).

#include "ErrorBox.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

// The resources live in a static library; the style sheet is the one main
// applies. Outside any namespace: Q_INIT_RESOURCE declares a global symbol.
inline void initTalvoraResources()
{
    Q_INIT_RESOURCE(Talvora);
    QFile styleSheet(QStringLiteral(":/Talvora/Resources/Talvora.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        qApp->setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    }
}

namespace widgettest {

// Collects the texts of the "出错提示" boxes while it lives.
class ErrorBoxRecorder
{
public:
    ErrorBoxRecorder() : m_texts(std::make_shared<QStringList>())
    {
        auto texts = m_texts;
        talvora::setErrorBoxHook(
            [texts](QWidget*, const QString&, const QString& text) { texts->append(text); });
    }
    ~ErrorBoxRecorder() { talvora::setErrorBoxHook({}); }

    QStringList texts() const { return *m_texts; }

private:
    std::shared_ptr<QStringList> m_texts;
};

// Answers the first modal dialog of type Dialog that appears while it lives;
// create it right before the statement that runs exec(). answered() tells
// whether that happened. Destroying it stops the watch, so an unanswered
// watch never reaches into a later test.
template <typename Dialog> class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(Dialog*)> answer) : m_answer(std::move(answer))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog != nullptr && dialog->isVisible()) {
                m_timer.stop();
                m_bAnswered = true;
                m_answer(dialog);
            }
        });
        m_timer.start();
    }

    bool answered() const { return m_bAnswered; }

private:
    std::function<void(Dialog*)> m_answer;
    QTimer m_timer;
    bool m_bAnswered = false;
};

// A list answer with `count` video meetings, each of 90 minutes from
// 2024-03-07T01:30:00Z, with ids 8500000<i> and topics 周会<i>.
inline std::string meetingListJson(int count)
{
    std::string json = "{\"page_count\":\"1\",\"meetings\":[";
    for (int i = 0; i < count; ++i) {
        json += (i == 0 ? "{" : ",{");
        json += "\"id\":\"8500000" + std::to_string(i) + "\",\"topic\":\"周会" + std::to_string(i) +
                "\",\"start_time\":\"2024-03-07T01:30:00Z\",\"duration\":90,\"option_host_video\":true,"
                "\"option_participants_video\":true}";
    }
    return json + "]}";
}

inline void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint globalPos)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    QMouseEvent event(type, widget->mapFromGlobal(globalPos), globalPos, changed, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at `from`, move to `to`, release there; all on `widget`.
inline void drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to)
{
    sendMouse(widget, QEvent::MouseButtonPress, button, from);
    sendMouse(widget, QEvent::MouseMove, button, to);
    sendMouse(widget, QEvent::MouseButtonRelease, button, to);
}

} // namespace widgettest
