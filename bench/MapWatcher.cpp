#include "MapWatcher.h"

#include "BenchSupport.h"

#include <QByteArray>

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

MapWatcher::MapWatcher()
{
    m_connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
        return;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    m_pidAtom = atom("_NET_WM_PID");
    m_nameAtom = atom("_NET_WM_NAME");
    m_utf8Atom = atom("UTF8_STRING");
    xcb_flush(m_connection);
}

MapWatcher::~MapWatcher()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

std::uint32_t MapWatcher::atom(const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const std::uint32_t value = reply ? reply->atom : 0;
    std::free(reply);
    return value;
}

QByteArray MapWatcher::property(std::uint32_t window, std::uint32_t atom, std::uint32_t type)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(m_connection, xcb_get_property(m_connection, 0, window, atom, type, 0, 1024), nullptr);
    QByteArray value;
    if (reply) {
        value =
            QByteArray(static_cast<const char *>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
        std::free(reply);
    }
    return value;
}

MapWatcher::Mapped MapWatcher::waitMapped(qint64 pid, const QString &title, int timeoutMs)
{
    const std::int64_t deadline = Bench::nowNs() + std::int64_t(timeoutMs) * 1'000'000;
    const QByteArray wantedTitle = title.toUtf8();
    for (;;) {
        xcb_generic_event_t *event = xcb_poll_for_event(m_connection);
        if (!event) {
            const std::int64_t left = deadline - Bench::nowNs();
            if (left <= 0 || xcb_connection_has_error(m_connection))
                return {};
            pollfd fd{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&fd, 1, int(left / 1'000'000) + 1);
            continue;
        }
        const std::int64_t at = Bench::nowNs();
        Mapped mapped;
        if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
            const auto *map = reinterpret_cast<const xcb_map_notify_event_t *>(event);
            const QByteArray windowPid = property(map->window, m_pidAtom, XCB_ATOM_CARDINAL);
            const QByteArray name = property(map->window, m_nameAtom, m_utf8Atom);
            std::uint32_t owner = 0;
            if (windowPid.size() == 4)
                std::memcpy(&owner, windowPid.constData(), 4);
            if (qint64(owner) == pid && name == wantedTitle)
                mapped = {at, map->window};
        }
        std::free(event);
        if (mapped.atNs != 0)
            return mapped;
    }
}
