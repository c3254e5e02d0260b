#pragma once

#include "panel/PanelFace.h"
#include "panel/PanelState.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

class QDBusAbstractAdaptor;

// The panel on the session bus, as every media player on a Linux desktop offers itself: the
// MPRIS 2 interfaces (org.mpris.MediaPlayer2 and its Player) and our own de.kurvan.Jukebox1 for
// the credits, all on /org/mpris/MediaPlayer2. It binds to the panel's face, never to its window:
// it only reflects what the panel already knows and acts through the face's entries, the
// panel's own rules included, so it adds no traffic to the jukebox.
//
// Without a session bus (an SSH login, a headless run) it stays out of the way and says nothing.
class MprisService : public QObject
{
    Q_OBJECT

public:
    static inline const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.kurvan");
    static inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

    explicit MprisService(QObject *parent = nullptr);
    ~MprisService() override;

    // Puts the object on the session bus and takes the bus name, or, while another program holds
    // it, the name with ".instance" and our process id. False when there is no session bus or
    // neither name could be had: nobody can find the client then.
    bool start();
    // The face whose state is offered from now on, and whose window Raise brings forward (before
    // a panel stands, one that raises the connection dialog).
    void setFace(PanelFace *face);

    // What the adaptors report: the panel's state as of its last change (without a face, one
    // that shows nothing and allows nothing).
    const PanelState &state() const { return m_state; }
    // The current title's object path, new for every title; the MPRIS "no track" path while
    // the panel shows no title.
    QString trackId() const;

    // The panel's actions, through its face; each does nothing (false) while its control is
    // switched off or no panel stands.
    bool perform(Command command);
    bool moveVolume(int volume);
    void raise();

private:
    void update();
    // The properties of adaptor that listeners are told about, as they read now.
    static QVariantMap announcedProperties(const QDBusAbstractAdaptor *adaptor);
    void announceChanges();

    QPointer<PanelFace> m_face;
    PanelState m_state;
    // Counts the titles seen, so that a title played again still gets a path of its own.
    quint64 m_trackNumber = 0;

    bool m_started = false;
    QList<QDBusAbstractAdaptor *> m_adaptors;
    // Per interface, the properties as last announced: a change is sent once, and alone.
    QList<QVariantMap> m_announced;
};
