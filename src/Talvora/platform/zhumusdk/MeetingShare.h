#pragma once
// Screen sharing in the meeting window. "共享屏幕" opens the chooser (or
// says why it cannot: another participant shares, or the desktop cannot),
// and the choice goes to the engine. While this participant shares, a thin
// bar over the window says so, with "停止共享"; while another does, the
// gallery shows the share large and the tiles in a strip.
//
// GUI thread only.

#include "ShareChooser.h"
#include "media/MeetingEngine.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QPushButton;
class QWidget;

namespace talvora::zhumu {

class GalleryView;
class MeetingRoster;
class ShareSources;
class VideoTile;

class MeetingShare : public QObject
{
    Q_OBJECT

public:
    // `window` parents the chooser and the notices; the bar is made here
    // for the window to place.
    MeetingShare(media::MeetingEngine* engine, MeetingRoster* roster, GalleryView* gallery, QWidget* window);
    ~MeetingShare() override;

    void startFlow();
    void stop();
    bool isSharing() const { return m_sharing; }

    QWidget* bar() const { return m_bar; }
    QPushButton* stopButton() const { return m_stop; }
    // The chooser while it is open, the others' share while it shows.
    ShareChooser* chooser() const { return m_chooser; }
    VideoTile* stage() const { return m_stage; }

    // Sources for windows made from now on instead of the desktop's; null
    // restores them.
    static void setSourcesForTesting(ShareSources* sources);

signals:
    void sharingChanged(bool sharing);

private:
    void onShareStarted(qint64 sharerId);
    void onShareStopped(qint64 sharerId);
    QString nameOf(qint64 id) const;
    media::Participant stageParticipant() const;

    QPointer<media::MeetingEngine> m_engine;
    MeetingRoster* m_roster;
    GalleryView* m_gallery;
    QWidget* m_window;
    ShareSources* m_sources;
    QWidget* m_bar;
    QLabel* m_barText;
    QPushButton* m_stop;
    QPointer<ShareChooser> m_chooser;
    VideoTile* m_stage = nullptr;
    qint64 m_sharerId = 0;
    bool m_sharing = false;
    bool m_requested = false; // asked of the engine, not yet answered
};

} // namespace talvora::zhumu
