// The X11 side of screen sharing: screens from Qt (their areas of the root
// window, which ximagesrc captures), windows from the window manager's
// _NET_CLIENT_LIST, or, where no window manager runs, the root's mapped
// children that have a name. The only file that speaks X11 for sharing.

#include "ShareSources.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace talvora::zhumu {
namespace {

constexpr int kThumbnailWidth = 240;

using Reply = std::unique_ptr<void, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    Reply reply(xcb_intern_atom_reply(
                    connection, xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name), nullptr),
                &std::free);
    return reply ? static_cast<xcb_intern_atom_reply_t*>(reply.get())->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property's bytes, or nothing when the window does not have it.
QByteArray property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
{
    if (name == XCB_ATOM_NONE)
        return {};
    Reply reply(xcb_get_property_reply(
                    connection, xcb_get_property(connection, 0, window, name, type, 0, 16384), nullptr),
                &std::free);
    auto* value = static_cast<xcb_get_property_reply_t*>(reply.get());
    if (!value || value->type == XCB_ATOM_NONE)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(value)),
                      xcb_get_property_value_length(value) * (value->format / 8));
}

class X11ShareSources : public ShareSources
{
public:
    QVector<ShareCandidate> screens() override
    {
        QVector<ShareCandidate> list;
        const QList<QScreen*> all = QGuiApplication::screens();
        for (int i = 0; i < all.size(); ++i) {
            QScreen* screen = all[i];
            ShareCandidate candidate;
            candidate.title = QStringLiteral("屏幕 %1").arg(i + 1);
            // Device pixels: what ximagesrc reads off the root window.
            const qreal ratio = screen->devicePixelRatio();
            const QRect geometry = screen->geometry();
            candidate.source.area = QRect(geometry.topLeft() * ratio, geometry.size() * ratio);
            candidate.thumbnail =
                screen->grabWindow(0).toImage().scaledToWidth(kThumbnailWidth, Qt::SmoothTransformation);
            list << candidate;
        }
        return list;
    }

    QVector<ShareCandidate> windows() override
    {
        QVector<ShareCandidate> list;
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return list;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
        const xcb_atom_t netName = atom(connection, "_NET_WM_NAME");
        QVector<xcb_window_t> windows;
        const QByteArray clients =
            property(connection, root, atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW);
        if (!clients.isEmpty()) {
            const auto* ids = reinterpret_cast<const xcb_window_t*>(clients.constData());
            windows = QVector<xcb_window_t>(ids, ids + clients.size() / int(sizeof(xcb_window_t)));
        } else {
            Reply tree(xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr),
                       &std::free);
            if (auto* reply = static_cast<xcb_query_tree_reply_t*>(tree.get())) {
                const xcb_window_t* children = xcb_query_tree_children(reply);
                for (int i = 0; i < xcb_query_tree_children_length(reply); ++i) {
                    Reply attributes(
                        xcb_get_window_attributes_reply(
                            connection, xcb_get_window_attributes(connection, children[i]), nullptr),
                        &std::free);
                    auto* state = static_cast<xcb_get_window_attributes_reply_t*>(attributes.get());
                    if (state && state->map_state == XCB_MAP_STATE_VIEWABLE && !state->override_redirect)
                        windows << children[i];
                }
            }
        }
        for (xcb_window_t window : qAsConst(windows)) {
            QString title = QString::fromUtf8(property(connection, window, netName, utf8));
            if (title.isEmpty()) // ICCCM's name, in Latin-1
                title = QString::fromLatin1(property(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
            if (title.isEmpty())
                continue;
            ShareCandidate candidate;
            candidate.title = title;
            candidate.source.window = window;
            // What the window shows now; one that is off screen comes out black.
            if (QScreen* screen = QGuiApplication::primaryScreen())
                candidate.thumbnail = screen->grabWindow(window).toImage().scaledToWidth(
                    kThumbnailWidth, Qt::SmoothTransformation);
            list << candidate;
        }
        xcb_disconnect(connection);
        return list;
    }
};

} // namespace

QString shareUnsupportedReason()
{
    const bool wayland = QGuiApplication::platformName() == QLatin1String("wayland") ||
                         (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") &&
                          qEnvironmentVariableIsEmpty("DISPLAY"));
    return wayland ? QStringLiteral("当前桌面不支持屏幕共享") : QString();
}

ShareSources* desktopShareSources()
{
    static X11ShareSources sources;
    return &sources;
}

} // namespace talvora::zhumu
