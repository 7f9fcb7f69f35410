#pragma once
// What can be shared: the screens, each with a thumbnail, and the top-level
// windows, each with its title and a thumbnail. The chooser asks a ShareSources; the one
// the client uses knows X11 (X11ShareSources), tests give their own.

#include "media/MeetingEngine.h"

#include <QImage>
#include <QString>
#include <QVector>

namespace talvora::zhumu {

struct ShareCandidate
{
    QString title;    // "屏幕 1", or the window's title
    QImage thumbnail; // what it shows now; may be null
    media::ShareSource source;
};

class ShareSources
{
public:
    virtual ~ShareSources() = default;
    virtual QVector<ShareCandidate> screens() = 0;
    virtual QVector<ShareCandidate> windows() = 0;
};

// Why this desktop cannot share its screen, as the user is told; empty
// when it can (an X11 session).
QString shareUnsupportedReason();

// The desktop's own sources: X11's screens and windows.
ShareSources* desktopShareSources();

} // namespace talvora::zhumu
