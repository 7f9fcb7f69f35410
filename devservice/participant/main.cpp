// meeting-participant: a meeting participant without a window, on the
// client's own media engine, for tests, benchmarks and demos. It signs in to
// the service (or, offline, goes straight to a Janus room), publishes test
// media with a given colour and tone, and prints one JSON line a second
// about what it receives from each remote publisher (and from a screen
// share). With --share-screen it shares the screen of its $DISPLAY.

#include "Admission.h"
#include "HttpsClient.h"
#include "MeetingEngine.h"
#include "ParticipantCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <thread>
#include <utility>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace talvora::media;

namespace {

// The HTTPS library trusts one CA file named when it is built; this program
// is built to trust the file behind this descriptor, which --ca opens.
constexpr int kCaDescriptor = 201;

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!write(g_signalPipe[1], &byte, 1);
}

void printLine(const QJsonObject& object)
{
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void die(const QString& message)
{
    std::fprintf(stderr, "meeting-participant: %s\n", qPrintable(message));
    std::fflush(nullptr);
    // Without exit handlers: the engine may be making its certificate on
    // another thread, and OpenSSL's handlers would pull the ground from it.
    _exit(2);
}

struct Service
{
    QString base; // https://host:port
    QString session;

    talvora::https::Answer post(const QString& route,
                                const std::vector<std::pair<std::string, std::string>>& form)
    {
        talvora::https::Request request;
        request.url = (base + route).toStdString();
        request.headers.push_back("Content-Type: application/x-www-form-urlencoded");
        if (!session.isEmpty())
            request.headers.push_back("Authorization: Bearer " + session.toStdString());
        request.body = talvora::https::formEncode(form);
        return talvora::https::post(request);
    }
};

QString describe(const talvora::https::Answer& answer)
{
    return answer.completed ? QStringLiteral("HTTP %1").arg(answer.status)
                            : QStringLiteral("transport error %1").arg(answer.transportError);
}

// The mean colour of each of cells.width() x cells.height() equal parts of
// image, row by row, from every second pixel both ways.
QJsonArray colourGrid(const QImage& image, const QSize& cells)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    QJsonArray grid;
    for (int row = 0; row < cells.height(); ++row) {
        const int top = row * pixels.height() / cells.height();
        const int bottom = (row + 1) * pixels.height() / cells.height();
        for (int column = 0; column < cells.width(); ++column) {
            const int left = column * pixels.width() / cells.width();
            const int right = (column + 1) * pixels.width() / cells.width();
            qint64 sums[3] = {0, 0, 0};
            qint64 count = 0;
            for (int y = top; y < bottom; y += 2) {
                const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
                for (int x = left; x < right; x += 2) {
                    sums[0] += qRed(line[x]);
                    sums[1] += qGreen(line[x]);
                    sums[2] += qBlue(line[x]);
                    ++count;
                }
            }
            count = qMax<qint64>(count, 1);
            grid.append(QJsonArray{int(sums[0] / count), int(sums[1] / count), int(sums[2] / count)});
        }
    }
    return grid;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MeetingEngine::prepare(); // while the options are read and the service answers
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A meeting participant without a window, with test media."));
    parser.addHelpOption();
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("Service origin, https://host:port."),
                                     QStringLiteral("URL"));
    const QCommandLineOption ca(QStringLiteral("ca"),
                                QStringLiteral("CA file that the service's certificate chains to."),
                                QStringLiteral("FILE"), QStringLiteral(TALVORA_DEFAULT_CA));
    const QCommandLineOption account(QStringLiteral("account"), QStringLiteral("SDK account."),
                                     QStringLiteral("ACCOUNT"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Its password."),
                                      QStringLiteral("PASSWORD"));
    const QCommandLineOption number(QStringLiteral("number"),
                                    QStringLiteral("Meeting number (0 with --start: new)."),
                                    QStringLiteral("N"));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Start the meeting instead of joining."));
    const QCommandLineOption displayName(QStringLiteral("display-name"),
                                         QStringLiteral("Name shown to the others."), QStringLiteral("NAME"));
    const QCommandLineOption colour(QStringLiteral("colour"), QStringLiteral("Test picture colour."),
                                    QStringLiteral("#RRGGBB"), QStringLiteral("#4194ff"));
    const QCommandLineOption tone(QStringLiteral("tone"), QStringLiteral("Test tone frequency."),
                                  QStringLiteral("HZ"), QStringLiteral("440"));
    const QCommandLineOption toneLevel(QStringLiteral("tone-level"),
                                       QStringLiteral("Test tone's peak in dBFS (-60 to 0)."),
                                       QStringLiteral("DBFS"), QStringLiteral("-20"));
    const QCommandLineOption commands(
        QStringLiteral("commands"),
        QStringLiteral("Take commands on standard input, one a line: chat TEXT, share, stop-share, "
                       "tone-level DBFS, mute NAME|ID, kick NAME|ID (asking the service, as this "
                       "participant), unmute (oneself), leave."));
    const QCommandLineOption mute(QStringLiteral("mute"), QStringLiteral("Join muted."));
    const QCommandLineOption noVideo(QStringLiteral("no-video"), QStringLiteral("Join with the camera off."));
    const QCommandLineOption leaveAfter(QStringLiteral("leave-after"),
                                        QStringLiteral("Leave after S seconds."), QStringLiteral("S"));
    const QCommandLineOption muteAfter(QStringLiteral("mute-after"), QStringLiteral("Mute after S seconds."),
                                       QStringLiteral("S"));
    const QCommandLineOption unmuteAfter(
        QStringLiteral("unmute-after"),
        QStringLiteral("Unmute after S seconds (lifting the host's mute through the service first)."),
        QStringLiteral("S"));
    const QCommandLineOption videoOffAfter(QStringLiteral("video-off-after"),
                                           QStringLiteral("Turn the camera off after S seconds."),
                                           QStringLiteral("S"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Picture size."),
                                  QStringLiteral("WxH"), QStringLiteral("640x360"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Frame rate."), QStringLiteral("N"),
                                 QStringLiteral("30"));
    const QCommandLineOption janus(QStringLiteral("janus"), QStringLiteral("Offline: Janus WebSocket URL."),
                                   QStringLiteral("WS_URL"));
    const QCommandLineOption room(QStringLiteral("room"), QStringLiteral("Offline: room id."),
                                  QStringLiteral("N"));
    const QCommandLineOption pin(QStringLiteral("pin"), QStringLiteral("Offline: room pin."),
                                 QStringLiteral("P"));
    const QCommandLineOption token(QStringLiteral("token"), QStringLiteral("Offline: Janus token."),
                                   QStringLiteral("T"));
    const QCommandLineOption iceNetwork(QStringLiteral("ice-network"),
                                        QStringLiteral("Network that ICE stays in (empty: any)."),
                                        QStringLiteral("CIDR"), QStringLiteral("127.0.0.0/8"));
    const QCommandLineOption play(QStringLiteral("play"),
                                  QStringLiteral("Play the received audio on the speaker."));
    const QCommandLineOption shareScreen(QStringLiteral("share-screen"),
                                         QStringLiteral("Share the whole screen of $DISPLAY once joined."));
    const QCommandLineOption shareFps(QStringLiteral("share-fps"), QStringLiteral("Screen share frame rate."),
                                      QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption shareAfter(QStringLiteral("share-after"),
                                        QStringLiteral("Share the screen S seconds after the start instead."),
                                        QStringLiteral("S"));
    const QCommandLineOption stopShareAfter(QStringLiteral("stop-share-after"),
                                            QStringLiteral("Stop sharing after S seconds."),
                                            QStringLiteral("S"));
    const QCommandLineOption shareGrid(
        QStringLiteral("share-grid"),
        QStringLiteral("Report the mean colours of COLS x ROWS equal cells of the received share's latest "
                       "frame, row by row."),
        QStringLiteral("COLSxROWS"));
    const QCommandLineOption simulateLoss(
        QStringLiteral("simulate-loss"),
        QStringLiteral("Benchmarks: drop this percentage of packets in and out of every peer connection."),
        QStringLiteral("PERCENT"), QStringLiteral("0"));
    const QCommandLineOption simulateLossAfter(
        QStringLiteral("simulate-loss-after"),
        QStringLiteral("Start dropping packets only after S seconds (once the media flow)."), QStringLiteral("S"),
        QStringLiteral("0"));
    const QCommandLineOption simulateDelay(
        QStringLiteral("simulate-delay"),
        QStringLiteral("Benchmarks: hold every packet in and out of every peer connection back this long (a "
                       "round trip of twice as much)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption lostGrace(QStringLiteral("lost-grace"),
                                       QStringLiteral("Seconds a lost connection may last before giving up."),
                                       QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption reportEvery(QStringLiteral("report-every"),
                                         QStringLiteral("Milliseconds between reports (levels still over the "
                                                        "last second)."),
                                         QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral(
            "The sound server's microphone and speaker instead of the test tone (implies --play)."));
    const QCommandLineOption aec(QStringLiteral("aec"), QStringLiteral("Echo cancellation."),
                                 QStringLiteral("on|off"), QStringLiteral("off"));
    const QCommandLineOption noise(QStringLiteral("noise"), QStringLiteral("Noise suppression."),
                                   QStringLiteral("off|low|moderate|high"), QStringLiteral("off"));
    const QCommandLineOption agc(QStringLiteral("agc"), QStringLiteral("Automatic gain control."),
                                 QStringLiteral("on|off"), QStringLiteral("off"));
    const QCommandLineOption toneBursts(
        QStringLiteral("tone-bursts"),
        QStringLiteral("Sound the test tone only in the first 200 ms of each second of the system clock "
                       "(receivers report when each burst arrives: onset_ns)."));
    const QCommandLineOption noVoiceProcessing(QStringLiteral("no-voice-processing"),
                                               QStringLiteral("Send the microphone without webrtcdsp."));
    const QCommandLineOption processingAfter(
        QStringLiteral("processing-after"),
        QStringLiteral("After S seconds switch echo cancellation, noise suppression and gain as "
                       "AEC,NOISE,AGC say (e.g. on,high,off)."),
        QStringLiteral("S:AEC,NOISE,AGC"));

    const QCommandLineOption chat(QStringLiteral("chat"),
                                  QStringLiteral("Send a chat message once joined (repeatable)."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption chatAfter(QStringLiteral("chat-after"),
                                       QStringLiteral("Send the --chat messages after S seconds instead."),
                                       QStringLiteral("S"));
    const QCommandLineOption chatEvery(QStringLiteral("chat-every"),
                                       QStringLiteral("Space the --chat messages S seconds apart."),
                                       QStringLiteral("S"), QStringLiteral("0"));
    parser.addOptions({service,     ca,           account,          password,          number,
                       start,       displayName,  colour,           tone,              mute,
                       noVideo,     leaveAfter,   muteAfter,        unmuteAfter,       videoOffAfter,     size,
                       fps,         janus,        room,             pin,               token,
                       iceNetwork,  play,         device,           aec,               noise,
                       agc,         processingAfter, shareScreen,   shareFps,          shareAfter,
                       stopShareAfter, shareGrid, chat,     chatAfter,        chatEvery,         simulateLoss,
                       simulateLossAfter, lostGrace,  reportEvery});
    parser.addOptions({toneLevel, commands, toneBursts, noVoiceProcessing, simulateDelay});
    parser.process(app);

    MediaOptions options;
    options.testMedia = true;
    options.preview = false;
    options.deviceAudio = parser.isSet(device);
    options.playAudio = parser.isSet(play) || options.deviceAudio;
    // The test tone is no voice: processing is off unless asked for.
    auto processingFrom = [](const QString& aecValue, const QString& noiseValue, const QString& agcValue,
                             AudioProcessing& processing) {
        static const QStringList levels{QStringLiteral("off"), QStringLiteral("low"),
                                        QStringLiteral("moderate"), QStringLiteral("high")};
        const QStringList onOff{QStringLiteral("on"), QStringLiteral("off")};
        if (!onOff.contains(aecValue) || !onOff.contains(agcValue) || !levels.contains(noiseValue))
            return false;
        processing.echoCancellation = aecValue == QLatin1String("on");
        processing.autoGain = agcValue == QLatin1String("on");
        processing.noiseSuppression = NoiseSuppression(levels.indexOf(noiseValue));
        return true;
    };
    if (!processingFrom(parser.value(aec), parser.value(noise), parser.value(agc), options.audioProcessing))
        die(QStringLiteral("--aec and --agc want on or off, --noise off, low, moderate or high"));
    options.testToneBursts = parser.isSet(toneBursts);
    options.skipVoiceProcessing = parser.isSet(noVoiceProcessing);
    options.sendAudio = !parser.isSet(mute);
    options.sendVideo = !parser.isSet(noVideo);
    options.testColour = QColor(parser.value(colour));
    if (!options.testColour.isValid())
        die(QStringLiteral("--colour wants #RRGGBB"));
    bool ok = false;
    options.testToneHz = parser.value(tone).toDouble(&ok);
    if (!ok || options.testToneHz < 20 || options.testToneHz > 20000)
        die(QStringLiteral("--tone wants a frequency between 20 and 20000 Hz"));
    const auto toneDbfs = [&ok](const QString& value) {
        const double dbfs = value.toDouble(&ok);
        ok = ok && dbfs >= -60 && dbfs <= 0;
        return dbfs;
    };
    options.testToneDbfs = toneDbfs(parser.value(toneLevel));
    if (!ok)
        die(QStringLiteral("--tone-level wants -60 to 0 dBFS"));
    const QStringList dimensions = parser.value(size).split(QLatin1Char('x'));
    options.width = dimensions.value(0).toInt();
    options.height = dimensions.value(1).toInt();
    if (dimensions.size() != 2 || options.width < 16 || options.height < 16 || options.width > 1920 ||
        options.height > 1080)
        die(QStringLiteral("--size wants WxH, from 16x16 to 1920x1080"));
    options.fps = parser.value(fps).toInt();
    if (options.fps < 1 || options.fps > 60)
        die(QStringLiteral("--fps wants 1 to 60"));
    options.iceNetwork = parser.value(iceNetwork);
    ShareSource shareSource; // the whole root window
    shareSource.fps = parser.value(shareFps).toInt();
    if (shareSource.fps < 5 || shareSource.fps > 15)
        die(QStringLiteral("--share-fps wants 5 to 15"));
    QSize gridCells;
    if (parser.isSet(shareGrid)) {
        const QStringList cells = parser.value(shareGrid).split(QLatin1Char('x'));
        gridCells = QSize(cells.value(0).toInt(), cells.value(1).toInt());
        if (cells.size() != 2 || gridCells.width() < 1 || gridCells.height() < 1 || gridCells.width() > 64 ||
            gridCells.height() > 64)
            die(QStringLiteral("--share-grid wants COLSxROWS, each 1 to 64"));
    }
    const double lossPercent = parser.value(simulateLoss).toDouble(&ok);
    if (!ok || lossPercent < 0 || lossPercent > 100)
        die(QStringLiteral("--simulate-loss wants 0 to 100"));
    options.simulatedLoss = lossPercent / 100.0;
    options.simulatedDelayMs = parser.value(simulateDelay).toInt(&ok);
    if (!ok || options.simulatedDelayMs < 0 || options.simulatedDelayMs > 5000)
        die(QStringLiteral("--simulate-delay wants 0 to 5000 ms"));
    const double graceSeconds = parser.value(lostGrace).toDouble(&ok);
    if (!ok || graceSeconds <= 0)
        die(QStringLiteral("--lost-grace wants seconds"));
    const int reportMs = parser.value(reportEvery).toInt();
    if (reportMs < 100 || reportMs > 60000)
        die(QStringLiteral("--report-every wants 100 to 60000 ms"));

    Admission admission;
    Service http;
    if (parser.isSet(janus)) {
        admission.server = QUrl(parser.value(janus));
        admission.room = parser.value(room).toLongLong();
        admission.pin = parser.value(pin);
        admission.token = parser.value(token);
        admission.displayName = parser.value(displayName);
        admission.number = parser.value(number);
        if (!admission.server.isValid() || admission.room <= 0)
            die(QStringLiteral("offline mode wants --janus ws://... --room N --pin P"));
    } else {
        if (!parser.isSet(service) || !parser.isSet(account) || !parser.isSet(password) ||
            !parser.isSet(number))
            die(QStringLiteral(
                "wants --service, --account, --password and --number (or --janus for offline)"));
        const int caFile = ::open(qPrintable(parser.value(ca)), O_RDONLY | O_CLOEXEC);
        if ((caFile < 0 || ::dup2(caFile, kCaDescriptor) < 0))
            die(QStringLiteral("cannot read the CA file %1").arg(parser.value(ca)));
        if (caFile >= 0)
            ::close(caFile);
        http.base = parser.value(service);
        if (!http.base.startsWith(QLatin1String("https://")))
            die(QStringLiteral("--service wants an https:// origin"));
        auto login =
            http.post(QStringLiteral("/sdk/v1/login"), {{"account", parser.value(account).toStdString()},
                                                        {"password", parser.value(password).toStdString()}});
        if (!login.completed || login.status != 200)
            die(QStringLiteral("sign-in refused: %1").arg(describe(login)));
        http.session = QJsonDocument::fromJson(QByteArray::fromStdString(login.body))
                           .object()
                           .value(QLatin1String("session"))
                           .toString();
        if (http.session.isEmpty())
            die(QStringLiteral("sign-in answer without a session"));
        const auto admitted = parser.isSet(start)
                                  ? http.post(QStringLiteral("/sdk/v1/meetings/start"),
                                              {{"number", parser.value(number).toStdString()},
                                               {"no_video", parser.isSet(noVideo) ? "1" : "0"}})
                                  : http.post(QStringLiteral("/sdk/v1/meetings/join"),
                                              {{"number", parser.value(number).toStdString()},
                                               {"display_name", parser.value(displayName).toStdString()}});
        if (!admitted.completed || admitted.status != 200)
            die(QStringLiteral("not admitted to meeting %1: %2")
                    .arg(parser.value(number), describe(admitted)));
        if (!parseAdmission(QByteArray::fromStdString(admitted.body), admission))
            die(QStringLiteral("the service's admission answer is not understood"));
        if (parser.isSet(displayName) && admission.displayName.isEmpty())
            admission.displayName = parser.value(displayName);
    }

    if (::pipe2(g_signalPipe, O_CLOEXEC) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    MeetingEngine engine(admission, options);
    QElapsedTimer clock;
    clock.start();
    int exitCode = 0;
    bool leaving = false;
    auto leave = [&] {
        if (leaving)
            return;
        leaving = true;
        engine.leave();
        QTimer::singleShot(5000, &app, [&] { app.exit(exitCode); });
    };
    auto event = [&](const char* name, QJsonObject fields = {}) {
        fields.insert(QStringLiteral("event"), QLatin1String(name));
        fields.insert(QStringLiteral("t"), clock.elapsed() / 1000.0);
        printLine(fields);
    };

    QSocketNotifier stopSignals(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopSignals, &QSocketNotifier::activated, &app, [&] { leave(); });
    // Wall-clock milliseconds let another process's line give the delay.
    auto sendChat = [&](const QString& text) {
        const bool sent = engine.sendChat(text);
        event(sent ? "chat-sent" : "chat-refused",
              {{QStringLiteral("text"), text},
               {QStringLiteral("wall_ms"), double(QDateTime::currentMSecsSinceEpoch())}});
    };
    const int chatSpacingMs = int(parser.value(chatEvery).toDouble() * 1000);
    auto sendChats = [&] {
        const QStringList texts = parser.values(chat);
        for (int i = 0; i < texts.size(); ++i) {
            if (chatSpacingMs <= 0)
                sendChat(texts[i]);
            else
                QTimer::singleShot(i * chatSpacingMs, &app, [&sendChat, text = texts[i]] { sendChat(text); });
        }
    };
    QObject::connect(&engine, &MeetingEngine::joined, &app, [&](qint64 id) {
        event("joined", {{QStringLiteral("id"), id}, {QStringLiteral("number"), admission.number}});
        if (parser.isSet(shareScreen)) {
            event("share-requested");
            engine.startShare(shareSource);
        }
        if (!parser.isSet(chatAfter))
            sendChats();
    });
    QObject::connect(&engine, &MeetingEngine::localShareChanged, &app,
                     [&](bool sharing) { event(sharing ? "sharing" : "not-sharing"); });
    QObject::connect(&engine, &MeetingEngine::shareFailed, &app, [&](const QString& reason) {
        event("share-failed", {{QStringLiteral("reason"), reason}});
    });
    QObject::connect(&engine, &MeetingEngine::shareStarted, &app, [&](qint64 id) {
        event("share-started", {{QStringLiteral("id"), id}});
    });
    QObject::connect(&engine, &MeetingEngine::shareStopped, &app, [&](qint64 id) {
        event("share-stopped", {{QStringLiteral("id"), id}});
    });
    bool shareSeen = false;
    QImage lastShare; // for --share-grid
    QObject::connect(&engine, &MeetingEngine::shareStopped, &app, [&] {
        shareSeen = false;
        lastShare = QImage();
    });
    QObject::connect(&engine, &MeetingEngine::shareFrame, &app, [&](qint64 id, const QImage& image) {
        if (gridCells.isValid())
            lastShare = image;
        if (!shareSeen) {
            shareSeen = true;
            event("first-share-frame", {{QStringLiteral("id"), id},
                                        {QStringLiteral("width"), image.width()},
                                        {QStringLiteral("height"), image.height()}});
        }
    });
    QObject::connect(&engine, &MeetingEngine::chatReceived, &app,
                     [&](const QString& sender, const QDateTime& time, const QString& text) {
                         event("chat",
                               {{QStringLiteral("sender"), sender},
                                {QStringLiteral("time"), time.toString(QStringLiteral("HH:mm"))},
                                {QStringLiteral("text"), text},
                                {QStringLiteral("wall_ms"), double(QDateTime::currentMSecsSinceEpoch())}});
                     });
    bool mutedByHost = false;
    QObject::connect(&engine, &MeetingEngine::mutedByHost, &app, [&] {
        mutedByHost = true;
        event("muted-by-host");
    });
    QObject::connect(&engine, &MeetingEngine::kicked, &app, [&] {
        if (!http.session.isEmpty())
            http.post(QStringLiteral("/sdk/v1/meetings/leave"), {{"number", admission.number.toStdString()}});
        event("kicked");
        app.exit(0);
    });
    auto fieldsOf = [](const Participant& participant) {
        return QJsonObject{{QStringLiteral("id"), participant.id},
                           {QStringLiteral("display"), participant.displayName},
                           {QStringLiteral("muted"), participant.audioMuted},
                           {QStringLiteral("video_off"), participant.videoOff}};
    };
    QObject::connect(&engine, &MeetingEngine::participantJoined, &app, [&](const Participant& participant) {
        event("participant-joined", fieldsOf(participant));
    });
    QObject::connect(&engine, &MeetingEngine::participantChanged, &app, [&](const Participant& participant) {
        event("participant-changed", fieldsOf(participant));
    });
    QSet<qint64> seen;
    QObject::connect(&engine, &MeetingEngine::frame, &app, [&](qint64 id, const QImage&) {
        if (!seen.contains(id)) {
            seen.insert(id);
            event("first-frame", {{QStringLiteral("id"), id}});
        }
    });
    QObject::connect(&engine, &MeetingEngine::participantLeft, &app, [&](qint64 id) {
        event("participant-left", {{QStringLiteral("id"), id}});
    });
    QObject::connect(&engine, &MeetingEngine::talking, &app, [&](qint64 id, bool talking) {
        event(talking ? "talking" : "stopped-talking", {{QStringLiteral("id"), id}});
    });
    QObject::connect(&engine, &MeetingEngine::failed, &app, [&](const QString& reason) {
        std::fprintf(stderr, "meeting-participant: %s\n", qPrintable(reason));
        app.exit(3);
    });
    // A lost connection that is not back within the grace ends the participant.
    QTimer lost;
    lost.setSingleShot(true);
    lost.setInterval(int(graceSeconds * 1000));
    QObject::connect(&lost, &QTimer::timeout, &app, [&] {
        std::fprintf(stderr, "meeting-participant: connection to the media server lost\n");
        app.exit(4);
    });
    QObject::connect(&engine, &MeetingEngine::connectionLost, &app, [&] {
        event("connection-lost");
        lost.start();
    });
    QObject::connect(&engine, &MeetingEngine::connectionRestored, &app, [&] {
        event("connection-restored");
        lost.stop();
    });
    // A fresh admission when the engine asks (the meeting may have moved to
    // another server or room), asked for off the event loop.
    if (!http.session.isEmpty()) {
        QObject::connect(&engine, &MeetingEngine::readmissionNeeded, &app, [&] {
            event("readmission");
            Service client = http;
            const bool host = parser.isSet(start);
            const std::string meeting = admission.number.toStdString();
            const std::string name = parser.value(displayName).toStdString();
            QPointer<MeetingEngine> target(&engine);
            std::thread([client, host, meeting, name, target]() mutable {
                const auto answer =
                    host ? client.post(QStringLiteral("/sdk/v1/meetings/start"),
                                       {{"number", meeting}, {"no_video", "0"}})
                         : client.post(QStringLiteral("/sdk/v1/meetings/join"),
                                       {{"number", meeting}, {"display_name", name}});
                Admission fresh;
                const bool admitted = answer.completed && answer.status == 200 &&
                                      parseAdmission(QByteArray::fromStdString(answer.body), fresh);
                QMetaObject::invokeMethod(
                    qApp, [target, fresh, admitted] {
                        if (target && admitted)
                            target->readmit(fresh);
                        else if (target)
                            target->readmissionRefused(); // it asks again after its back-off
                    },
                    Qt::QueuedConnection);
            }).detach();
        });
    }
    QObject::connect(&engine, &MeetingEngine::meetingEnded, &app, [&] {
        event("ended");
        app.exit(0);
    });
    QObject::connect(&engine, &MeetingEngine::left, &app, [&] {
        if (!http.session.isEmpty())
            http.post(QStringLiteral("/sdk/v1/meetings/leave"), {{"number", admission.number.toStdString()}});
        event("left");
        app.exit(exitCode);
    });

    double selfLevel = -120;
    QObject::connect(&engine, &MeetingEngine::audioLevel, &app, [&](qint64 id, double dbfs) {
        if (engine.participants().value(0).self && engine.participants().value(0).id == id)
            selfLevel = dbfs;
    });
    QTimer report;
    QObject::connect(&report, &QTimer::timeout, &app, [&] {
        QHash<qint64, QString> names;
        for (const Participant& participant : engine.participants())
            names.insert(participant.id, participant.displayName);
        QJsonArray remotes;
        for (const ReceiveStats& stats : engine.receiveStats()) {
            remotes.append(QJsonObject{
                {QStringLiteral("id"), stats.id},
                {QStringLiteral("display"), names.value(stats.id)},
                {QStringLiteral("frames"), double(stats.framesDecoded)},
                {QStringLiteral("width"), stats.width},
                {QStringLiteral("height"), stats.height},
                {QStringLiteral("rgb"),
                 QJsonArray{stats.meanColour.red(), stats.meanColour.green(), stats.meanColour.blue()}},
                {QStringLiteral("rms_dbfs"), qRound(stats.audioRmsDbfs * 10) / 10.0},
                {QStringLiteral("freq_hz"), stats.dominantHz},
                {QStringLiteral("rtt_ms"), qRound(stats.rttMs * 10) / 10.0},
                {QStringLiteral("jitter_buffer_ms"), stats.jitterBufferMs},
                {QStringLiteral("heard_windows"), stats.heardWindows},
                {QStringLiteral("silent_windows"), stats.silentWindows},
                {QStringLiteral("longest_gap_ms"), stats.longestGapMs},
                {QStringLiteral("long_gaps"), stats.longGaps},
                {QStringLiteral("onset_ns"), double(stats.audioOnsetNs)},
                {QStringLiteral("pair"), QJsonArray{stats.localCandidateType, stats.remoteCandidateType}},
            });
        }
        const QVector<int> sent = engine.sentVideo();
        QJsonObject line{{QStringLiteral("t"), clock.elapsed() / 1000.0},
                         {QStringLiteral("mic_dbfs"), qRound(selfLevel * 10) / 10.0},
                         {QStringLiteral("remotes"), remotes},
                         {QStringLiteral("sent"), QJsonArray{sent[0], sent[1], sent[2], sent[3]}},
                         {QStringLiteral("sent_pair"), QJsonArray::fromStringList(engine.sendingCandidateTypes())}};
        if (engine.sharerId() != 0) {
            const ReceiveStats share = engine.shareStats();
            line.insert(QStringLiteral("share"),
                        QJsonObject{{QStringLiteral("id"), share.id},
                                    {QStringLiteral("display"), names.value(share.id)},
                                    {QStringLiteral("frames"), double(share.framesDecoded)},
                                    {QStringLiteral("width"), share.width},
                                    {QStringLiteral("height"), share.height},
                                    {QStringLiteral("rgb"),
                                     QJsonArray{share.meanColour.red(), share.meanColour.green(),
                                                share.meanColour.blue()}}});
            if (!lastShare.isNull()) {
                QJsonObject withGrid = line.value(QStringLiteral("share")).toObject();
                withGrid.insert(QStringLiteral("grid"), colourGrid(lastShare, gridCells));
                withGrid.insert(QStringLiteral("grid_of"), QJsonArray{lastShare.width(), lastShare.height()});
                line.insert(QStringLiteral("share"), withGrid);
            }
        }
        printLine(line);
    });
    report.start(reportMs);

    if (parser.isSet(leaveAfter)) {
        const double seconds = parser.value(leaveAfter).toDouble(&ok);
        if (!ok || seconds < 0)
            die(QStringLiteral("--leave-after wants seconds"));
        QTimer::singleShot(int(seconds * 1000), &app, [&] { leave(); });
    }
    if (parser.isSet(muteAfter))
        QTimer::singleShot(int(parser.value(muteAfter).toDouble() * 1000), &app,
                           [&] { engine.setAudioMuted(true); });
    auto unmuteSelf = [&] {
        // As the client does it: unmuted here at once (Janus hears of it
        // while the host's mute still holds), the host's mute lifted
        // through the service a moment later; Janus drops the sound
        // until then.
        engine.setAudioMuted(false);
        event("unmuted");
        if (std::exchange(mutedByHost, false) && !http.session.isEmpty())
            QTimer::singleShot(300, &app, [&] {
                const auto answer = http.post(QStringLiteral("/sdk/v1/meetings/unmute"),
                                              {{"number", admission.number.toStdString()}});
                event("unmute-lifted", {{QStringLiteral("status"), answer.completed ? int(answer.status) : 0}});
            });
    };
    if (parser.isSet(unmuteAfter))
        QTimer::singleShot(int(parser.value(unmuteAfter).toDouble() * 1000), &app, unmuteSelf);
    if (parser.isSet(processingAfter)) {
        const QString value = parser.value(processingAfter);
        const QStringList parts = value.section(QLatin1Char(':'), 1).split(QLatin1Char(','));
        AudioProcessing processing;
        const double seconds = value.section(QLatin1Char(':'), 0, 0).toDouble(&ok);
        if (!ok || parts.size() != 3 || !processingFrom(parts[0], parts[1], parts[2], processing))
            die(QStringLiteral("--processing-after wants S:AEC,NOISE,AGC"));
        QTimer::singleShot(int(seconds * 1000), &app,
                           [&engine, processing] { engine.setAudioProcessing(processing); });
    }
    QObject::connect(&engine, &MeetingEngine::microphoneLost, &app, [&] { event("microphone-lost"); });
    QObject::connect(&engine, &MeetingEngine::microphoneRestored, &app,
                     [&] { event("microphone-restored"); });
    QObject::connect(&engine, &MeetingEngine::speakerLost, &app, [&] { event("speaker-lost"); });
    QObject::connect(&engine, &MeetingEngine::speakerRestored, &app, [&] { event("speaker-restored"); });
    QObject::connect(&engine, &MeetingEngine::deviceLost, &app, [&](DeviceKind kind, const QString& fallback) {
        const char* const kinds[] = {"camera", "microphone", "speaker"};
        event("device-lost", {{QStringLiteral("kind"), QLatin1String(kinds[int(kind)])},
                              {QStringLiteral("fallback"), fallback}});
    });
    if (parser.isSet(videoOffAfter))
        QTimer::singleShot(int(parser.value(videoOffAfter).toDouble() * 1000), &app,
                           [&] { engine.setVideoEnabled(false); });
    if (parser.isSet(shareAfter))
        QTimer::singleShot(int(parser.value(shareAfter).toDouble() * 1000), &app, [&] {
            event("share-requested");
            engine.startShare(shareSource);
        });
    if (parser.isSet(stopShareAfter))
        QTimer::singleShot(int(parser.value(stopShareAfter).toDouble() * 1000), &app,
                           [&] { engine.stopShare(); });
    const double lossAfter = parser.value(simulateLossAfter).toDouble();
    if (options.simulatedLoss > 0 && lossAfter > 0) {
        MeetingEngine::setSimulatedLoss(0);
        QTimer::singleShot(int(lossAfter * 1000), &app,
                           [&] { MeetingEngine::setSimulatedLoss(options.simulatedLoss); });
    }
    if (parser.isSet(chatAfter))
        QTimer::singleShot(int(parser.value(chatAfter).toDouble() * 1000), &app, sendChats);
    // The test's commands, each answered by an event line.
    ParticipantCommands* commandReader = nullptr;
    if (parser.isSet(commands))
        commandReader = new ParticipantCommands(STDIN_FILENO, &app);
    auto moderate = [&](const QString& action, const QString& who) {
        qint64 id = who.toLongLong();
        for (const Participant& participant : engine.participants()) {
            if (!participant.self && participant.displayName == who)
                id = participant.id;
        }
        int status = 0;
        if (id > 0 && !http.session.isEmpty()) {
            const auto answer =
                http.post(QStringLiteral("/sdk/v1/meetings/") + action,
                          {{"number", admission.number.toStdString()}, {"participant", std::to_string(id)}});
            status = answer.completed ? int(answer.status) : 0;
        }
        event("moderation", {{QStringLiteral("action"), action},
                             {QStringLiteral("participant"), id},
                             {QStringLiteral("status"), status}});
    };
    if (commandReader) {
        QObject::connect(commandReader, &ParticipantCommands::command, &app,
                         [&](const QString& verb, const QString& argument) {
                             if (verb == QLatin1String("chat") && !argument.isEmpty()) {
                                 sendChat(argument);
                             } else if (verb == QLatin1String("share")) {
                                 event("share-requested");
                                 engine.startShare(shareSource);
                             } else if (verb == QLatin1String("stop-share")) {
                                 engine.stopShare();
                             } else if (const double dbfs = toneDbfs(argument);
                                        verb == QLatin1String("tone-level") && ok) {
                                 engine.setTestToneLevel(dbfs);
                                 event("tone-level", {{QStringLiteral("dbfs"), dbfs}});
                             } else if (verb == QLatin1String("mute") || verb == QLatin1String("kick")) {
                                 moderate(verb, argument);
                             } else if (verb == QLatin1String("unmute")) {
                                 unmuteSelf();
                             } else if (verb == QLatin1String("leave")) {
                                 leave();
                             } else {
                                 event("command-refused", {{QStringLiteral("command"), verb}});
                             }
                         });
    }
    event("start");
    engine.start();
    return app.exec();
}
