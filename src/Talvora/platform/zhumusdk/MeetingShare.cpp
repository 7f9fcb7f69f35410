#include "MeetingShare.h"

#include "AudioProcessingSettings.h"
#include "GalleryView.h"
#include "MeetingPrompts.h"
#include "MeetingRoster.h"
#include "ShareChooser.h"
#include "ShareSources.h"
#include "VideoTile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

namespace talvora::zhumu {
namespace {

ShareSources* g_testSources = nullptr;

// The share's frame rate from the SDK's settings file ("share/fps", 5 to
// 15): a slow machine or a slow uplink can ask for fewer frames.
int shareFrameRate(int fallback)
{
    QSettings file(AudioProcessingSettings::filePath(), QSettings::IniFormat);
    bool ok = false;
    const int fps = file.value(QStringLiteral("share/fps")).toInt(&ok);
    return ok ? qBound(5, fps, 15) : fallback;
}

} // namespace

void MeetingShare::setSourcesForTesting(ShareSources* sources)
{
    g_testSources = sources;
}

MeetingShare::MeetingShare(media::MeetingEngine* engine, MeetingRoster* roster, GalleryView* gallery,
                           QWidget* window)
    : QObject(window), m_engine(engine), m_roster(roster), m_gallery(gallery), m_window(window),
      m_sources(g_testSources ? g_testSources : desktopShareSources())
{
    m_bar = new QWidget(window);
    m_bar->setObjectName(QStringLiteral("shareBar"));
    m_bar->setAttribute(Qt::WA_StyledBackground);
    m_bar->setStyleSheet(QStringLiteral(
        "QWidget#shareBar{background:#1a7f4b;}QLabel{color:#ffffff;font-size:13px;}"
        "QPushButton{color:#ffffff;background:#e5484d;border:none;border-radius:4px;padding:3px 12px;"
        "font-size:13px;}QPushButton:focus{border:1px solid #ffffff;}"));
    m_barText = new QLabel(QStringLiteral("您正在共享屏幕"), m_bar);
    m_stop = new QPushButton(QStringLiteral("停止共享"), m_bar);
    m_stop->setObjectName(QStringLiteral("stopShareButton"));
    m_stop->setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(m_bar);
    layout->setContentsMargins(16, 3, 16, 3);
    layout->addStretch();
    layout->addWidget(m_barText);
    layout->addSpacing(16);
    layout->addWidget(m_stop);
    layout->addStretch();
    m_bar->hide();
    connect(m_stop, &QPushButton::clicked, this, &MeetingShare::stop);

    connect(engine, &media::MeetingEngine::shareStarted, this, &MeetingShare::onShareStarted);
    // A share listed before its owner (one answer may carry both) takes the
    // owner's name when the owner arrives.
    connect(roster, &MeetingRoster::added, this, [this](const media::Participant& participant) {
        if (m_stage && participant.id == m_sharerId)
            m_stage->setParticipant(stageParticipant());
    });
    connect(engine, &media::MeetingEngine::shareStopped, this, &MeetingShare::onShareStopped);
    connect(engine, &media::MeetingEngine::shareFrame, this, [this](qint64 id, const QImage& image) {
        if (m_stage && id == m_sharerId)
            m_stage->setFrame(image);
    });
    connect(engine, &media::MeetingEngine::localShareChanged, this, [this](bool sharing) {
        m_requested = false;
        if (m_sharing == sharing)
            return;
        m_sharing = sharing;
        m_bar->setVisible(sharing);
        emit sharingChanged(sharing);
    });
    connect(engine, &media::MeetingEngine::shareFailed, this, [this](const QString& reason) {
        qWarning("screen share: %s", qPrintable(reason));
        showNotice(m_window, QStringLiteral("屏幕共享已中断"));
    });
}

MeetingShare::~MeetingShare()
{
    if (m_chooser)
        m_chooser->close();
}

QString MeetingShare::nameOf(qint64 id) const
{
    const media::Participant* participant = m_roster->find(id);
    return participant ? participant->displayName : QString();
}

void MeetingShare::startFlow()
{
    if (!m_engine)
        return;
    if (m_sharing || m_requested) {
        stop();
        return;
    }
    if (m_sharerId != 0) {
        showNotice(m_window, QStringLiteral("%1 正在共享，请稍后再试").arg(nameOf(m_sharerId)));
        return;
    }
    const QString unsupported = shareUnsupportedReason();
    if (!unsupported.isEmpty()) {
        showNotice(m_window, unsupported);
        return;
    }
    if (m_chooser) {
        m_chooser->raise();
        m_chooser->activateWindow();
        return;
    }
    m_chooser = new ShareChooser(*m_sources, m_window);
    connect(m_chooser, &ShareChooser::chosen, this, [this](const media::ShareSource& source) {
        // Someone may have begun while the chooser was open.
        if (!m_engine || m_sharerId != 0) {
            if (m_sharerId != 0)
                showNotice(m_window, QStringLiteral("%1 正在共享，请稍后再试").arg(nameOf(m_sharerId)));
            return;
        }
        m_requested = true;
        media::ShareSource shared = source;
        shared.fps = shareFrameRate(source.fps);
        m_engine->startShare(shared);
    });
    m_chooser->open();
}

void MeetingShare::stop()
{
    m_requested = false;
    if (m_engine)
        m_engine->stopShare();
}

media::Participant MeetingShare::stageParticipant() const
{
    media::Participant shown;
    shown.id = m_sharerId;
    shown.displayName = QStringLiteral("%1 的屏幕共享").arg(nameOf(m_sharerId));
    return shown;
}

void MeetingShare::onShareStarted(qint64 sharerId)
{
    if (m_sharerId != 0)
        return; // one at a time: a second share waits until the first ends
    m_sharerId = sharerId;
    m_stage = new VideoTile(stageParticipant(), m_gallery);
    m_stage->setObjectName(QStringLiteral("shareStage"));
    m_gallery->setStage(m_stage);
}

void MeetingShare::onShareStopped(qint64 sharerId)
{
    if (sharerId != m_sharerId)
        return;
    m_sharerId = 0;
    m_gallery->setStage(nullptr);
    delete m_stage;
    m_stage = nullptr;
    // Two that began at the same moment: the other one shows now.
    if (m_engine && m_engine->sharerId() != 0)
        onShareStarted(m_engine->sharerId());
}

} // namespace talvora::zhumu
