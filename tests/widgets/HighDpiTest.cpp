// The client at device-pixel ratios above 1. Qt fixes the ratio when the
// application starts, so the test runs itself once per ratio: with
// QT_SCALE_FACTOR set and TALVORA_HIDPI_OUT naming a directory, the copy
// builds the main window, writes the keypad as drawn there and the window's
// logical and pixel size, and ends.
//
// Text needs no check of its own here: Qt lays it out in logical pixels at
// every ratio (measured: the ink of each label at 1.25, 1.5 and 2 ends within
// a pixel of where it ends at 1), so a ratio clips nothing that 1x does not.

#include "JoinConference.h"
#include "KelpNetUtilsDouble.h"
#include "Talvora.h"
#include "WidgetTestSupport.h"
#include "platform/system/Desktop.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <cmath>

namespace {

const char* const kOutVariable = "TALVORA_HIDPI_OUT";

// Runs in the copy.
int renderAtThisRatio(int argc, char** argv)
{
    QApplication app(argc, argv);
    talvora::platform::setUpDesktop();
    initTalvoraResources();
    const QDir out(qEnvironmentVariable(kOutVariable));

    kelp_double::queueAnswer("{\"meetings\":[]}");
    Talvora window("zhangsan", "ZC10001");
    window.setEnabled(true);
    window.show();
    window.onChooseJoinMeet();
    QApplication::processEvents();

    QStringList report;
    report << QStringLiteral("size %1 %2").arg(window.width()).arg(window.height());
    const QPixmap picture = window.grab();
    report << QStringLiteral("pixels %1 %2").arg(picture.width()).arg(picture.height());

    JoinConference* join = window.m_pJoinConference;
    const QRect keypad = join->m_pBtn1->geometry().united(join->m_pBtnDelete->geometry());
    const bool written = join->grab(keypad).save(out.filePath(QStringLiteral("keypad.png")));

    QFile file(out.filePath(QStringLiteral("report.txt")));
    if (!written || !file.open(QIODevice::WriteOnly)) {
        return 1;
    }
    QTextStream(&file) << report.join(QLatin1Char('\n')) << '\n';
    return 0;
}

// Mean squared difference between neighbouring pixels, in grey levels. An
// edge spread over two pixels by an upscale keeps its total rise but each
// step is half as high, so its share here drops to about a half; an edge
// drawn at the finer grid stays one step.
double edgeSharpness(const QImage& picture)
{
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    qint64 steps = 0;
    for (int y = 0; y + 1 < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        const uchar* below = grey.constScanLine(y + 1);
        for (int x = 0; x + 1 < grey.width(); ++x) {
            const int across = row[x] - row[x + 1];
            const int down = row[x] - below[x];
            sum += across * across + down * down;
            steps += 2;
        }
    }
    return steps == 0 ? 0 : sum / double(steps);
}

} // namespace

class HighDpiTest : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        QImage keypad;
        QStringList report;
    };

    // The test program again, at the given ratio; once per ratio.
    static Run runAt(const QString& ratio)
    {
        static QMap<QString, Run> runs;
        if (!runs.contains(ratio)) {
            runs.insert(ratio, runCopy(ratio));
        }
        return runs.value(ratio);
    }

    static Run runCopy(const QString& ratio)
    {
        QTemporaryDir dir;
        QProcess copy;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), ratio);
        environment.insert(QString::fromLatin1(kOutVariable), dir.path());
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        copy.start(QCoreApplication::applicationFilePath(), QStringList());
        if (!copy.waitForFinished(60000) || copy.exitCode() != 0) {
            return {};
        }
        QFile report(QDir(dir.path()).filePath(QStringLiteral("report.txt")));
        report.open(QIODevice::ReadOnly);
        return {QImage(QDir(dir.path()).filePath(QStringLiteral("keypad.png"))),
                QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)};
    }

private slots:
    void windowKeepsItsLogicalSize_data()
    {
        QTest::addColumn<QString>("ratio");
        for (const char* ratio : {"1.25", "1.5", "2"}) {
            QTest::newRow(ratio) << QString::fromLatin1(ratio);
        }
    }

    void windowKeepsItsLogicalSize()
    {
        QFETCH(QString, ratio);
        const Run run = runAt(ratio);
        QVERIFY(run.report.size() >= 2);
        QCOMPARE(run.report.value(0), QStringLiteral("size 1070 690"));
        const double scale = ratio.toDouble();
        QCOMPARE(run.report.value(1), QStringLiteral("pixels %1 %2")
                                          .arg(std::ceil(1070 * scale - 1e-9))
                                          .arg(std::ceil(690 * scale - 1e-9)));
    }

    void keypadAtTwiceTheRatioHasMoreDetailThanAnUpscale()
    {
        const QImage single = runAt(QStringLiteral("1")).keypad;
        const QImage twice = runAt(QStringLiteral("2")).keypad;
        QVERIFY(!single.isNull() && !twice.isNull());
        QCOMPARE(twice.size(), single.size() * 2);
        const QImage upscaled = single.scaled(twice.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double drawn = edgeSharpness(twice);
        const double blown = edgeSharpness(upscaled);
        qInfo("edge sharpness: drawn at 2x %.3f, 1x upscaled %.3f", drawn, blown);
        QVERIFY2(drawn > 1.5 * blown, "the 2x keypad is no sharper than the 1x one upscaled");
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(kOutVariable)) {
        return renderAtThisRatio(argc, argv);
    }
    QApplication app(argc, argv);
    HighDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HighDpiTest.moc"
