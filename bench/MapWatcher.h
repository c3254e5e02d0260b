#pragma once

#include <QString>

#include <cstdint>

struct xcb_connection_t;

// Watches the X server for top-level windows being mapped, the moment a window becomes
// visible. Without a window manager (a bare Xvfb) every top-level window is a child of the
// root window, so one subscription to the root's substructure sees them all, with no polling.
class MapWatcher
{
public:
    MapWatcher();
    ~MapWatcher();
    MapWatcher(const MapWatcher &) = delete;
    MapWatcher &operator=(const MapWatcher &) = delete;

    bool isValid() const { return m_connection != nullptr; }

    struct Mapped
    {
        std::int64_t atNs = 0; // CLOCK_MONOTONIC when the notice was read; 0: none in time
        std::uint32_t window = 0;
    };
    // The next mapping of a window of process pid titled title, waiting up to timeoutMs.
    // Mappings of other windows are passed over.
    Mapped waitMapped(qint64 pid, const QString &title, int timeoutMs);

private:
    std::uint32_t atom(const char *name);
    QByteArray property(std::uint32_t window, std::uint32_t atom, std::uint32_t type);

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_pidAtom = 0;
    std::uint32_t m_nameAtom = 0;
    std::uint32_t m_utf8Atom = 0;
};
