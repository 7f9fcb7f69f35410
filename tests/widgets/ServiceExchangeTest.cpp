// The wait of a service exchange against quits from every side: the caller
// returns only once its exchange has ended, an answer that has arrived is
// neither freed under the caller nor read after the quit, and nothing is
// sent afterwards. Exchanges are held by the KelpNetUtils double.

#include "ServiceExchange.h"
#include "CloudSignIn.h"
#include "HttpRequest.h"
#include "KelpNetUtils.h"
#include "KelpNetUtilsDouble.h"
#include "StrevonetDouble.h"
#include "WidgetTestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <cstring>
#include <string>

using widgettest::ErrorBoxRecorder;

namespace {

constexpr std::chrono::milliseconds kForever(20000);

// A quit leaves every later wait of this thread ending at once;
// QCoreApplication::exec() clears that on its way out.
void recoverFromQuit()
{
    talvora::clearQuitRequest();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

talvora::ExchangeResult exchange(const std::string& url)
{
    HttpExchange record;
    std::memset(&record, 0, sizeof record);
    record.url = url.data();
    record.urlLength = static_cast<int32_t>(url.size());
    record.mode = 2;
    return talvora::runExchange(NET_HTTPCLIENT_Create(), record);
}

} // namespace

class ServiceExchangeTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        kelp_double::reset();
        strevo_double::reset();
    }

    // The wait ends from outside (QCoreApplication::quit(), or the session
    // manager's QEvent::Quit): the held exchange is aborted and over before
    // the caller goes on, and nothing is sent after it.
    void quitFromOutsideEndsTheWaitOnlyWithItsExchange_data()
    {
        QTest::addColumn<bool>("asEvent");
        QTest::newRow("QCoreApplication::quit") << false;
        QTest::newRow("QEvent::Quit") << true;
    }

    void quitFromOutsideEndsTheWaitOnlyWithItsExchange()
    {
        QFETCH(bool, asEvent);
        ErrorBoxRecorder boxes;
        kelp_double::holdExchanges("/held", kForever);
        QTimer::singleShot(100, [asEvent] {
            if (asEvent) {
                QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
            } else {
                QCoreApplication::quit();
            }
        });
        QElapsedTimer clock;
        clock.start();
        const talvora::ExchangeResult result = exchange("https://127.0.0.1/held");

        QCOMPARE(kelp_double::exchangesInFlight(), 0);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!result.completed);
        QVERIFY(result.handleReleased);
        QVERIFY(talvora::quitRequested());
        QCOMPARE(kelp_double::destroyedHandles(), 1);

        std::string answer = "kept";
        QVERIFY(!ListMeetings("ZC10001", &answer));
        QCOMPARE(answer, std::string("kept"));
        QCOMPARE(kelp_double::exchanges().size(), std::size_t(1));
        QVERIFY(boxes.texts().isEmpty());
        recoverFromQuit();
    }

    // The answer is in, only the wake-up of the wait is pending, and then the
    // user quits: the handle and its answer stay until the caller frees them
    // once, and nothing is built from the answer.
    void answerInBeforeAQuitIsNeitherFreedEarlyNorUsed()
    {
        ErrorBoxRecorder boxes;
        kelp_double::holdExchanges("/v3/meeting/list", std::chrono::milliseconds(100));
        kelp_double::queueAnswer(widgettest::meetingListJson(2));
        QTimer::singleShot(20, [] {
            // The GUI thread is busy as the answer arrives.
            while (kelp_double::exchanges().empty() || kelp_double::exchangesInFlight() > 0) {
                QThread::msleep(5);
            }
            QThread::msleep(50);
            talvora::requestQuit();
        });
        std::string answer = "kept";
        QVERIFY(!ListMeetings("ZC10001", &answer));

        QCOMPARE(answer, std::string("kept"));
        QCOMPARE(kelp_double::destroyedHandles(), 1);
        QVERIFY(boxes.texts().isEmpty());
        talvora::clearQuitRequest();
    }

    // A quit during the sign-in's account query, before any progress window
    // offers "取消": no retry, no box, the cloud session released.
    void accountQueryStopsRetryingAfterAQuit()
    {
        ErrorBoxRecorder boxes;
        kelp_double::holdExchanges("/userInfo/get", kForever);
        QTimer::singleShot(100, [] { QCoreApplication::quit(); });
        talvora::CloudAccount account;
        QCOMPARE(talvora::signInToCloud(account), -1);

        QCOMPARE(kelp_double::exchanges().size(), std::size_t(1));
        QCOMPARE(kelp_double::exchangesInFlight(), 0);
        QVERIFY(talvora::quitRequested());
        QVERIFY(boxes.texts().isEmpty());
        const auto calls = strevo_double::calls();
        QVERIFY(std::find(calls.begin(), calls.end(), "Strevo_Logout") != calls.end());
        QVERIFY(account.password.empty());
        recoverFromQuit();
    }
};

QTEST_MAIN(ServiceExchangeTest)
#include "ServiceExchangeTest.moc"
