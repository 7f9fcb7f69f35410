#pragma once
// Service exchanges off the GUI thread. Every exchange of the REST client and
// the cloud account query goes through runExchange(), which keeps the calling
// code synchronous: it returns with the answer, in the same order as ever,
// while the GUI thread goes on painting and serving the window system.
//
// While an exchange is in flight, every action passes one gate:
// - actions aimed at the client's own windows (the main window, its pop-ups,
//   the sign-in's windows) are dropped, however they come: mouse, keys,
//   shortcuts, a screen reader's press; the presenter's input window and the
//   conferencing SDK's own windows stay usable (actionHeld());
// - actions from outside the window's input (SDK events, watcher findings,
//   tray menu entries, notification actions) wait and run afterwards, in
//   arrival order, so that they never re-enter half-done work
//   (deferWhileBusy());
// - after 300 ms the current BusyPresenter shows the busy state and the cursor
//   becomes the wait cursor; both go once the answer has been handled.
// After a quit, nothing more is sent, and no waiting or later action runs.

#include "KelpNetUtils.h"

#include <cstdint>
#include <functional>

class QObject;
class QWidget;

namespace talvora {

// Shows that an exchange takes long: the main window's spinner over its
// pages, or the progress window before the main window exists.
class BusyPresenter
{
public:
    virtual ~BusyPresenter() = default;
    virtual void showBusy() = 0;
    virtual void hideBusy() = 0;
    // A window that keeps taking input while an exchange runs (it holds a
    // cancel button), or null.
    virtual QWidget* inputWindow() const { return nullptr; }
};

// Makes a presenter the one that shows slow exchanges while the scope lives.
// Scopes nest; the previous presenter comes back when the inner one ends.
class BusyPresenterScope
{
public:
    explicit BusyPresenterScope(BusyPresenter* presenter);
    ~BusyPresenterScope();
    BusyPresenterScope(const BusyPresenterScope&) = delete;
    BusyPresenterScope& operator=(const BusyPresenterScope&) = delete;

private:
    BusyPresenter* m_pPresenter;
    BusyPresenter* m_pPrevious;
};

struct ExchangeResult
{
    // NET_HTTPCLIENT_ShortLinkExchange succeeded and its answer is still the
    // handle's: the caller reads it and destroys the handle.
    bool completed = false;
    int32_t lastError = 0;       // NET_UTILS_GetLastError() of the exchanging thread, on failure
    bool handleReleased = false; // a quit released the handle to end the exchange
};

// NET_HTTPCLIENT_ShortLinkExchange(handle, &record) on the exchange thread;
// see the top of this file. Returns only once the exchange has ended, or has
// been abandoned before it was sent: also when something else ends the wait
// (QCoreApplication::quit(), a QEvent::Quit from the session manager), which
// counts as requestQuit(). The thread is joined when the application object
// goes. Off the GUI thread, without an application object, or inside another
// exchange's wait it runs in place. After requestQuit() nothing is sent any
// more.
ExchangeResult runExchange(int32_t handle, HttpExchange& record);

// True between the start of an exchange and its end.
bool exchangeInFlight();

// For actions that come from outside the window's input, on the GUI thread:
// while an exchange is in flight (or earlier deferred calls have yet to run),
// keeps `call` for later and returns true; after a quit, drops it and
// returns true; otherwise returns false and the handler goes on at once. A
// kept call is dropped when `context` is gone by its turn, or when the user
// has quit meanwhile.
bool deferWhileBusy(QObject* context, std::function<void()> call);

// True while an action aimed at `target` (a widget, or an object that
// belongs to one) is to be dropped: an exchange is in flight and `target`
// is part of the client's own windows. The presenter's input window and the
// conferencing SDK's windows are never held: a window whose object name
// starts with "zhumu" or whose class is one of the SDK's (talvora::zhumu),
// and any window that such a window owns.
bool actionHeld(QObject* target);

// The user asked to quit: the exchange in flight ends at once (its handle is
// released, unless its answer has already arrived), no later exchange is
// sent and no error box is shown any more.
void requestQuit();
bool quitRequested();
// Forgets a quit request; for tests that go on in the same process.
void clearQuitRequest();

} // namespace talvora
