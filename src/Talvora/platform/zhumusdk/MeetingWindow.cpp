#include "MeetingWindow.h"

#include "ActiveSpeaker.h"
#include "AudioProcessingSettings.h"
#include "ChatPanel.h"
#include "GalleryView.h"
#include "MeetingIcons.h"
#include "MeetingPrompts.h"
#include "MeetingRoster.h"
#include "MeetingShare.h"
#include "MeetingToolbar.h"
#include "MutedHint.h"
#include "ParticipantsPanel.h"
#include "VideoTile.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace talvora::zhumu {
namespace {

QString deviceLostText(media::DeviceKind kind, const QString& fallback)
{
    const QString device = kind == media::DeviceKind::Camera       ? QStringLiteral("摄像头")
                           : kind == media::DeviceKind::Microphone ? QStringLiteral("麦克风")
                                                                   : QStringLiteral("扬声器");
    return fallback.isEmpty() ? QStringLiteral("%1已断开，当前没有可用的%1").arg(device)
                              : QStringLiteral("%1已断开，已切换到默认设备").arg(device);
}

int g_connectionGraceMs = 60000;

// Its own look, complete: as a child of the client's window it would
// otherwise take on the client's style sheet.
const char kStyle[] =
    "QDialog#zhumuMeetingWindow{background:#1f2329;}"
    "QWidget#meetingHeader{background:#1f2329;}"
    "QWidget#meetingHeader QToolButton{color:#e6e8eb;background:transparent;border:1px solid transparent;"
    "border-radius:4px;padding:3px 8px;font-size:13px;}"
    "QWidget#meetingHeader QToolButton:hover{background:#2b3038;}"
    "QWidget#meetingHeader QToolButton:focus{border:1px solid #4194ff;}"
    "QToolButton#unpinButton{color:#ffffff;background:rgba(0,0,0,0.6);border:1px solid transparent;"
    "border-radius:4px;padding:4px 10px;font-size:13px;}"
    "QToolButton#unpinButton:hover{background:rgba(0,0,0,0.8);}"
    "QToolButton#unpinButton:focus{border:1px solid #4194ff;}"
    "QLabel{color:#ffffff;font-size:14px;background:transparent;}"
    "QLabel#meetingNumber{font-size:14px;color:#e6e8eb;}"
    "QLabel#meetingClock{font-size:14px;color:#aeb4bd;}"
    "QWidget#galleryView{background:#16191d;}"
    "QLabel#galleryWaiting{color:#aeb4bd;font-size:16px;}"
    "QLabel#deviceNotice{background:#3a3f47;color:#ffd37a;font-size:13px;padding:4px 16px;}"
    "QLabel#meetingBanner{background:rgba(229,72,77,0.92);color:#ffffff;font-size:14px;}"
    "QLabel#pageLabel{color:#c9cdd4;font-size:13px;padding:0 8px;}"
    "QWidget#galleryPager QToolButton{color:#ffffff;background:#2b3038;border:none;border-radius:4px;"
    "padding:4px 12px;font-size:13px;}"
    "QWidget#galleryPager QToolButton:disabled{color:#5d636c;}"
    "QWidget#galleryPager QToolButton:focus{border:1px solid #4194ff;}"
    "QWidget#participantsPanel{background:#23272e;border-left:1px solid #30353d;}"
    "QWidget#participantRows{background:#23272e;}"
    "QScrollArea#participantsScroll{background:#23272e;}"
    "QLabel#participantsTitle{font-size:15px;padding-left:16px;}"
    "QLabel#participantMarks{color:#aeb4bd;font-size:13px;}"
    "QWidget#participantsPanel QToolButton{color:#ffffff;background:#363c45;border:none;border-radius:4px;"
    "padding:2px 6px;font-size:12px;}"
    "QWidget#participantsPanel QToolButton:focus{border:1px solid #4194ff;}"
    "QWidget#participantsPanel QToolButton:disabled{color:#6b717a;}"
    "QWidget#chatPanel{background:#23272e;border-left:1px solid #30353d;}"
    "QWidget#chatMessages{background:#23272e;}"
    "QScrollArea#chatScroll{background:#23272e;}"
    "QLabel#chatTitle{font-size:15px;padding-left:16px;}"
    "QLabel#chatMessageHeader{color:#aeb4bd;font-size:12px;}"
    "QLabel#chatMessageText{color:#ffffff;font-size:14px;}"
    "QLabel#chatCount{color:#aeb4bd;font-size:12px;}"
    "QPlainTextEdit#chatInput{background:#2b3038;color:#ffffff;border:1px solid #3a4049;border-radius:4px;"
    "font-size:14px;}"
    "QPlainTextEdit#chatInput:focus{border:1px solid #4194ff;}"
    "QPushButton#chatSendButton{background:#4194ff;color:#ffffff;border:none;border-radius:4px;"
    "padding:4px 16px;font-size:13px;}"
    "QPushButton#chatSendButton:disabled{background:#363c45;color:#8a9099;}"
    "QPushButton#chatSendButton:focus{border:1px solid #ffffff;}"
    "QWidget#meetingToolbar{background:#2b3038;}"
    "QWidget#meetingToolbar QToolButton{color:#ffffff;background:transparent;border:none;border-radius:6px;"
    "padding:4px 10px;font-size:12px;min-width:72px;}"
    "QWidget#meetingToolbar QToolButton:hover{background:#363c45;}"
    "QWidget#meetingToolbar QToolButton:checked{background:#363c45;}"
    "QWidget#meetingToolbar QToolButton:focus{border:1px solid #4194ff;}"
    "QWidget#meetingToolbar QToolButton:disabled{color:#8a9099;}"
    "QWidget#meetingToolbar QToolButton#leaveMeetingButton{color:#ff8a8d;}"
    "QWidget#meetingToolbar QToolButton#endMeetingButton{background:#e5484d;color:#ffffff;padding:8px 16px;"
    "font-size:14px;}"
    "QWidget#meetingToolbar QToolButton#endMeetingButton:hover{background:#f05a5f;}"
    "QWidget#meetingToolbar QToolButton#endMeetingButton:focus{border:1px solid #ffffff;}";

QString clockText(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void MeetingWindow::setConnectionGraceForTesting(int milliseconds)
{
    g_connectionGraceMs = milliseconds;
}

MeetingWindow::MeetingWindow(const QString& number, const media::Participant& self,
                             media::MeetingEngine* engine, QWidget* owner)
    : QDialog(owner, Qt::Window), m_engine(engine), m_host(self.host),
      m_audioMuted(self.audioMuted || !engine->hasMicrophone()),
      m_videoOn(!self.videoOff && engine->hasCamera())
{
    setObjectName(QStringLiteral("zhumuMeetingWindow"));
    setWindowTitle(QStringLiteral("会议 ") + number);
    setModal(false);
    setSizeGripEnabled(false);
    setMinimumSize(960, 600);
    QSize size(1120, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size()).expandedTo(minimumSize());
    resize(size);
    setStyleSheet(QString::fromUtf8(kStyle));

    media::Participant joining = self;
    joining.audioMuted = m_audioMuted;
    joining.videoOff = !m_videoOn;
    m_roster = new MeetingRoster(engine, joining, this);
    m_speakers = new ActiveSpeaker(this);
    m_speakerClock.start();
    buildLayout(number);
    addShortcuts();
    connect(m_speakers, &ActiveSpeaker::speakerChanged, m_gallery, &GalleryView::setActiveSpeaker);
    // A challenger's second may end between two reports.
    m_speakerTick.setInterval(200);
    connect(&m_speakerTick, &QTimer::timeout, this, [this] { m_speakers->update(m_speakerClock.elapsed()); });

    connect(m_roster, &MeetingRoster::added, this, &MeetingWindow::onAdded);
    connect(m_roster, &MeetingRoster::changed, this, &MeetingWindow::onChanged);
    connect(m_roster, &MeetingRoster::removed, this, &MeetingWindow::onRemoved);
    connect(m_roster, &MeetingRoster::talkingChanged, this, [this](qint64 id, bool talking) {
        if (VideoTile* tile = m_gallery->tile(id))
            tile->setTalking(talking);
        // Oneself is never the speaker shown large: one sees the others.
        if (id != m_roster->selfId())
            m_speakers->setTalking(id, talking, m_speakerClock.elapsed());
    });
    connect(engine, &media::MeetingEngine::audioLevel, this, [this](qint64 id, double dbfs) {
        if (id != m_roster->selfId() && m_roster->find(id))
            m_speakers->setLevel(id, dbfs, m_speakerClock.elapsed());
    });
    connect(engine, &media::MeetingEngine::joined, this, &MeetingWindow::onJoined);
    connect(engine, &media::MeetingEngine::frame, this, [this](qint64 id, const QImage& image) {
        if (VideoTile* tile = m_gallery->tile(id))
            tile->setFrame(image);
    });
    connect(engine, &media::MeetingEngine::meetingEnded, this, &MeetingWindow::onMeetingEnded);
    connect(engine, &media::MeetingEngine::chatReceived, m_chat, &ChatPanel::addMessage);
    connect(engine, &media::MeetingEngine::mutedByHost, this, &MeetingWindow::onMutedByHost);
    connect(engine, &media::MeetingEngine::kicked, this, [this] {
        if (m_over)
            return;
        // The notice outlives this window: it goes to the window's owner.
        showNotice(parentWidget(), QStringLiteral("您已被主持人移出会议"));
        finish(Outcome::Removed);
    });
    connect(engine, &media::MeetingEngine::connectionLost, this, &MeetingWindow::onConnectionLost);
    connect(engine, &media::MeetingEngine::connectionRestored, this, &MeetingWindow::onConnectionRestored);
    connect(engine, &media::MeetingEngine::failed, this, [this] { finish(Outcome::Failed); });
    connect(engine, &media::MeetingEngine::deviceLost, this,
            [this](media::DeviceKind kind, const QString& fallback) {
                // One line over the tiles for a few seconds; the lost connection's
                // banner says more and stays, and so does the notice of a
                // microphone or speaker that is gone with none left.
                if (m_connectionGrace.isActive() ||
                    (kind != media::DeviceKind::Camera && m_deviceNotice && m_deviceNotice->isVisible()))
                    return;
                m_gallery->setBanner(deviceLostText(kind, fallback));
                QTimer::singleShot(5000, m_gallery, [this] {
                    if (!m_connectionGrace.isActive())
                        m_gallery->setBanner(QString());
                });
            });
    // A leave the window did not ask for: the engine is done with the room.
    connect(engine, &media::MeetingEngine::left, this, [this] { finish(Outcome::Left); });
    watchAudio(engine);

    m_clockTick.setInterval(1000);
    connect(&m_clockTick, &QTimer::timeout, this, &MeetingWindow::updateClock);
    m_connectionGrace.setSingleShot(true);
    m_connectionGrace.setInterval(g_connectionGraceMs);
    connect(&m_connectionGrace, &QTimer::timeout, this, [this] {
        if (m_over)
            return;
        // The notice outlives this window: it goes to the window's owner.
        showNotice(parentWidget(), QStringLiteral("网络连接已断开，已离开会议"));
        finish(Outcome::ConnectionLost);
    });
}

MeetingWindow::~MeetingWindow() = default;

void MeetingWindow::buildLayout(const QString& number)
{
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("meetingHeader"));
    header->setAttribute(Qt::WA_StyledBackground);
    auto* numberLabel = new QLabel(QStringLiteral("会议码：") + number, header);
    numberLabel->setObjectName(QStringLiteral("meetingNumber"));
    numberLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_clock = new QLabel(clockText(0), header);
    m_clock->setObjectName(QStringLiteral("meetingClock"));
    m_clock->setAccessibleName(QStringLiteral("会议时长"));
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(16, 8, 16, 8);
    headerLayout->setSpacing(16);
    // The view buttons on the right, and room as wide on the left (kept so
    // by refreshViewButtons), so that the number stays in the middle.
    m_headerBalance = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    headerLayout->addItem(m_headerBalance);
    headerLayout->addStretch(1);
    headerLayout->addWidget(numberLabel);
    headerLayout->addWidget(m_clock);
    headerLayout->addStretch(1);
    m_viewButton = new QToolButton(header);
    m_viewButton->setObjectName(QStringLiteral("viewButton"));
    m_fullScreenButton = new QToolButton(header);
    m_fullScreenButton->setObjectName(QStringLiteral("fullScreenButton"));
    for (QToolButton* button : {m_viewButton, m_fullScreenButton}) {
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setIconSize(QSize(18, 18));
        button->setFocusPolicy(Qt::StrongFocus);
        button->setCursor(Qt::PointingHandCursor);
        headerLayout->addWidget(button);
    }
    connect(m_viewButton, &QToolButton::clicked, this,
            [this] { setSpeakerView(m_gallery->mode() == GalleryView::Mode::Gallery); });
    connect(m_fullScreenButton, &QToolButton::clicked, this, [this] { setFullScreen(!isFullScreen()); });

    m_gallery = new GalleryView(this);
    m_panel = new ParticipantsPanel(this);
    m_panel->hide();
    m_panel->setHostControls(m_host);
    m_chat = new ChatPanel(this);
    m_chat->hide();
    m_toolbar = new MeetingToolbar(this);
    m_toolbar->setDevices(m_engine->hasMicrophone(), m_engine->hasCamera());
    m_toolbar->setAudioMuted(m_audioMuted);
    m_toolbar->setVideoEnabled(m_videoOn);
    m_toolbar->setHost(m_host);

    connect(m_toolbar, &MeetingToolbar::muteClicked, this, &MeetingWindow::onMuteClicked);
    connect(m_toolbar, &MeetingToolbar::videoClicked, this, &MeetingWindow::onVideoClicked);
    connect(m_toolbar, &MeetingToolbar::participantsToggled, m_panel, &QWidget::setVisible);
    connect(m_toolbar, &MeetingToolbar::chatToggled, this, [this](bool shown) {
        const bool typing = m_chat->isAncestorOf(focusWidget());
        m_chat->setVisible(shown);
        if (shown)
            m_chat->input()->setFocus();
        else if (typing) // back where the chat was opened, not the next control in the chain
            m_toolbar->chatButton()->setFocus(Qt::OtherFocusReason);
    });
    connect(m_chat, &ChatPanel::unreadChanged, m_toolbar, &MeetingToolbar::setUnreadChats);
    connect(m_chat, &ChatPanel::sendRequested, this, &MeetingWindow::onChatSend);
    connect(m_panel, &ParticipantsPanel::muteRequested, this, &MeetingWindow::muteRequested);
    connect(m_panel, &ParticipantsPanel::muteAllRequested, this, &MeetingWindow::muteAllRequested);
    connect(m_panel, &ParticipantsPanel::removeRequested, this, &MeetingWindow::onRemoveClicked);
    connect(m_toolbar, &MeetingToolbar::leaveClicked, this, [this] { finish(Outcome::Left); });
    connect(m_toolbar, &MeetingToolbar::endClicked, this, &MeetingWindow::onEndClicked);
    connect(m_gallery, &GalleryView::arranged, this, &MeetingWindow::orderTabs);
    refreshViewButtons();
    m_share = new MeetingShare(m_engine, m_roster, m_gallery, this);
    connect(m_toolbar, &MeetingToolbar::shareClicked, this, &MeetingWindow::startShareFlow);
    connect(m_share, &MeetingShare::sharingChanged, m_toolbar, &MeetingToolbar::setSharing);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(m_gallery, 1);
    body->addWidget(m_panel);
    body->addWidget(m_chat);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_share->bar());
    layout->addWidget(header);
    layout->addLayout(body, 1);
    m_deviceNotice = new QLabel(this);
    m_deviceNotice->setObjectName(QStringLiteral("deviceNotice"));
    m_deviceNotice->hide();
    layout->addWidget(m_deviceNotice);
    layout->addWidget(m_toolbar);
    // The first button would otherwise take the focus, and its ring, at once.
    m_gallery->setFocusPolicy(Qt::ClickFocus);
    m_gallery->setFocus();
    orderTabs();
}

void MeetingWindow::addShortcuts()
{
    const auto add = [this](int key, auto slot) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    add(Qt::ALT | Qt::Key_A, [this] { onMuteClicked(); });
    add(Qt::ALT | Qt::Key_V, [this] { onVideoClicked(); });
    // As the button does: start sharing, or stop it.
    add(Qt::ALT | Qt::Key_S, [this] { m_toolbar->shareButton()->click(); });
    add(Qt::ALT | Qt::Key_U, [this] { m_toolbar->participantsButton()->toggle(); });
    add(Qt::ALT | Qt::Key_H, [this] { m_toolbar->chatButton()->toggle(); });
    add(Qt::ALT | Qt::Key_Q, [this] {
        if (m_host)
            onEndClicked();
        else
            finish(Outcome::Left);
    });
    add(Qt::Key_F11, [this] { setFullScreen(!isFullScreen()); });
}

// Reading order: the header's buttons, the tiles, then the toolbar. They go
// in just before the toolbar, which keeps the toolbar's own order (and
// whatever others have put there) untouched.
void MeetingWindow::orderTabs()
{
    QList<QWidget*> chain{m_viewButton, m_fullScreenButton};
    chain << m_gallery->focusOrder();
    // The toolbar as a whole: Qt moves a widget's children along with it.
    QWidget* toolbarStart = m_toolbar;
    QWidget* before = toolbarStart->previousInFocusChain();
    while (chain.contains(before) || before->isAncestorOf(toolbarStart))
        before = before->previousInFocusChain();
    setTabOrder(before, chain.front());
    for (int i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain[i], chain[i + 1]);
    setTabOrder(chain.back(), toolbarStart);
}

void MeetingWindow::setSpeakerView(bool speaker)
{
    m_gallery->setMode(speaker ? GalleryView::Mode::Speaker : GalleryView::Mode::Gallery);
    refreshViewButtons();
}

void MeetingWindow::setFullScreen(bool on)
{
    if (on == isFullScreen())
        return;
    if (on)
        showFullScreen();
    else
        showNormal();
    refreshViewButtons();
}

void MeetingWindow::reject()
{
    if (isFullScreen())
        setFullScreen(false);
}

void MeetingWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && m_fullScreenButton)
        refreshViewButtons();
}

// Each button names what it does, and is read out by that name.
void MeetingWindow::refreshViewButtons()
{
    const bool speaker = m_gallery->mode() == GalleryView::Mode::Speaker;
    m_viewButton->setText(speaker ? QStringLiteral("宫格视图") : QStringLiteral("演讲者视图"));
    m_viewButton->setIcon(meetingIcon(speaker ? MeetingIcon::Gallery : MeetingIcon::Speaker));
    m_viewButton->setAccessibleName(m_viewButton->text());
    const bool full = isFullScreen();
    m_fullScreenButton->setText(full ? QStringLiteral("退出全屏") : QStringLiteral("全屏"));
    m_fullScreenButton->setIcon(meetingIcon(full ? MeetingIcon::ExitFullScreen : MeetingIcon::FullScreen));
    m_fullScreenButton->setAccessibleName(m_fullScreenButton->text());
    m_fullScreenButton->setToolTip(full ? QStringLiteral("退出全屏 (Esc)") : QStringLiteral("全屏 (F11)"));
    const int spacing = m_viewButton->parentWidget()->layout()->spacing();
    m_headerBalance->changeSize(m_viewButton->sizeHint().width() + m_fullScreenButton->sizeHint().width() +
                                    2 * spacing,
                                0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_viewButton->parentWidget()->layout()->invalidate();
}

void MeetingWindow::watchAudio(media::MeetingEngine* engine)
{
    m_mutedHint = new MutedHint(this);
    connect(m_mutedHint, &MutedHint::unmuteClicked, this, [this] {
        if (m_audioMuted)
            onMuteClicked();
    });
    connect(engine, &media::MeetingEngine::audioLevel, this, [this](qint64 id, double dbfs) {
        if (id == m_roster->selfId())
            m_mutedHint->onLevel(dbfs, m_audioMuted);
        if (VideoTile* tile = m_gallery->tile(id))
            tile->setLevel(dbfs);
        m_panel->setLevel(id, dbfs);
    });
    connect(engine, &media::MeetingEngine::microphoneLost, this, [this] {
        m_audioMuted = true; // the engine muted itself
        m_toolbar->setAudioMuted(true);
        m_roster->setSelfAudioMuted(true);
        setDeviceNotice(QStringLiteral("麦克风已断开"));
    });
    connect(engine, &media::MeetingEngine::microphoneRestored, this, [this] { setDeviceNotice(QString()); });
    connect(engine, &media::MeetingEngine::speakerLost, this,
            [this] { setDeviceNotice(QStringLiteral("扬声器已断开")); });
    connect(engine, &media::MeetingEngine::speakerRestored, this, [this] { setDeviceNotice(QString()); });
    connect(&AudioProcessingSettings::instance(), &AudioProcessingSettings::changed, this,
            [this](const media::AudioProcessing& processing) {
                if (m_engine)
                    m_engine->setAudioProcessing(processing);
            });
}

void MeetingWindow::setDeviceNotice(const QString& text)
{
    m_deviceNotice->setText(text);
    m_deviceNotice->setVisible(!text.isEmpty());
}

void MeetingWindow::onJoined()
{
    if (m_joined || m_over)
        return;
    m_joined = true;
    m_since.start();
    m_clockTick.start();
    m_speakerTick.start();
    emit joined();
}

void MeetingWindow::onAdded(const media::Participant& participant)
{
    m_gallery->addTile(participant);
    refreshParticipants();
}

void MeetingWindow::onChanged(const media::Participant&, const media::Participant& now)
{
    if (VideoTile* tile = m_gallery->tile(now.id))
        tile->setParticipant(now);
    refreshParticipants();
}

void MeetingWindow::onRemoved(const media::Participant& participant)
{
    m_gallery->removeTile(participant.id);
    m_speakers->remove(participant.id, m_speakerClock.elapsed());
    refreshParticipants();
}

void MeetingWindow::startShareFlow()
{
    if (m_joined && !m_over)
        m_share->startFlow();
}

void MeetingWindow::onMuteClicked()
{
    if (!m_engine || !m_engine->hasMicrophone())
        return;
    if (m_audioMuted && std::exchange(m_mutedByHost, false))
        emit unmuteRequested();
    m_engine->setAudioMuted(!m_audioMuted);
    m_audioMuted = m_engine->audioMuted(); // without its microphone it stays muted
    m_toolbar->setAudioMuted(m_audioMuted);
    m_roster->setSelfAudioMuted(m_audioMuted);
}

void MeetingWindow::onVideoClicked()
{
    if (!m_engine || !m_engine->hasCamera())
        return;
    m_videoOn = !m_videoOn;
    m_engine->setVideoEnabled(m_videoOn);
    m_toolbar->setVideoEnabled(m_videoOn);
    m_roster->setSelfVideoOff(!m_videoOn);
}

void MeetingWindow::onEndClicked()
{
    askToConfirm(this, QStringLiteral("结束会议后，所有参会者都将离开会议。"), QStringLiteral("结束会议"),
                 QStringLiteral("取消"), [window = QPointer<MeetingWindow>(this)](bool confirmed) {
                     if (window && confirmed)
                         window->finish(Outcome::EndedByMe);
                 });
}

void MeetingWindow::onRemoveClicked(qint64 participantId)
{
    const media::Participant* person = m_roster->find(participantId);
    if (!person || m_over)
        return;
    askToConfirm(this, QStringLiteral("确定将“%1”移出会议吗？").arg(person->displayName),
                 QStringLiteral("移出会议"), QStringLiteral("取消"),
                 [window = QPointer<MeetingWindow>(this), participantId](bool confirmed) {
                     if (window && confirmed && !window->m_over)
                         emit window->removeRequested(participantId);
                 });
}

void MeetingWindow::onMutedByHost()
{
    if (m_over)
        return;
    // The engine has muted the microphone; unmuting stays the user's.
    m_audioMuted = true;
    m_mutedByHost = true;
    m_toolbar->setAudioMuted(true);
    m_roster->setSelfAudioMuted(true);
    showNotice(this, QStringLiteral("主持人已将您静音"));
}

void MeetingWindow::onChatSend(const QString& text)
{
    if (!m_engine || m_over)
        return;
    if (!m_engine->sendChat(text))
        showNotice(this, QStringLiteral("消息发送失败，聊天暂不可用"));
}

void MeetingWindow::onMeetingEnded()
{
    if (m_over)
        return;
    // The notice outlives this window: it goes to the window's owner.
    showNotice(parentWidget(), QStringLiteral("主持人已结束会议"));
    finish(Outcome::EndedByHost);
}

void MeetingWindow::onConnectionLost()
{
    if (m_over)
        return;
    // The tiles keep their last frames under the banner.
    m_gallery->setBanner(QStringLiteral("网络连接已断开，正在重新连接…"));
    if (!m_connectionGrace.isActive())
        m_connectionGrace.start();
}

void MeetingWindow::onConnectionRestored()
{
    m_connectionGrace.stop();
    m_gallery->setBanner(QString());
}

void MeetingWindow::updateClock()
{
    m_clock->setText(clockText(m_since.elapsed()));
}

void MeetingWindow::refreshParticipants()
{
    m_toolbar->setParticipantCount(m_roster->participants().size());
    m_panel->setParticipants(m_roster->participants());
}

void MeetingWindow::closeEvent(QCloseEvent* event)
{
    finish(Outcome::Left);
    event->accept();
}

void MeetingWindow::finish(Outcome outcome)
{
    if (m_over)
        return;
    m_over = true;
    m_clockTick.stop();
    m_speakerTick.stop();
    m_connectionGrace.stop();
    if (m_engine && (outcome == Outcome::Left || outcome == Outcome::EndedByMe))
        m_engine->leave();
    hide();
    emit over(outcome);
}

} // namespace talvora::zhumu
