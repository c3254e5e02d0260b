#include "mpris/MprisService.h"

#include "mpris/JukeboxAdaptor.h"
#include "mpris/MprisPlayerAdaptor.h"
#include "mpris/MprisRootAdaptor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLoggingCategory>
#include <QMetaProperty>

Q_LOGGING_CATEGORY(lcMpris, "kurvan.mpris", QtWarningMsg)

namespace {

const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// Listeners read the position when they need it and count on from there while the status says
// "Playing"; announcing every poll would only wake them.
constexpr const char *kUnannounced[] = {"Position"};

QString interfaceName(const QDBusAbstractAdaptor *adaptor)
{
    const QMetaObject *meta = adaptor->metaObject();
    return QString::fromLatin1(meta->classInfo(meta->indexOfClassInfo("D-Bus Interface")).value());
}

} // namespace

MprisService::MprisService(QObject *parent) : QObject(parent)
{
    m_adaptors = {new MprisRootAdaptor(this), new MprisPlayerAdaptor(this), new JukeboxAdaptor(this)};
    for (const QDBusAbstractAdaptor *adaptor : std::as_const(m_adaptors))
        m_announced.append(announcedProperties(adaptor));
}

MprisService::~MprisService()
{
    if (m_started)
        QDBusConnection::sessionBus().unregisterObject(kObjectPath);
}

bool MprisService::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCDebug(lcMpris) << "no session bus:" << bus.lastError().message();
        return false;
    }
    // The object first, so that whoever sees the name appear finds it there.
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        qCDebug(lcMpris) << "object path taken:" << bus.lastError().message();
        return false;
    }
    m_started = true;
    if (bus.registerService(kServiceName))
        return true;
    // Another program holds our name (a second desktop session, a copy from another folder).
    const QString instance =
        kServiceName + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
    if (bus.registerService(instance))
        return true;
    qCDebug(lcMpris) << "no bus name:" << bus.lastError().message();
    return false;
}

void MprisService::setFace(PanelFace *face)
{
    if (m_face)
        m_face->disconnect(this);
    m_face = face;
    if (m_face)
        connect(m_face, &PanelFace::stateChanged, this, &MprisService::update);
    update();
}

QString MprisService::trackId() const
{
    if (m_state.song.isEmpty())
        return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    return QStringLiteral("/de/kurvan/Client/Track/") + QString::number(m_trackNumber);
}

void MprisService::update()
{
    const PanelState now = m_face ? m_face->state() : PanelState();
    if (now.song != m_state.song && !now.song.isEmpty())
        ++m_trackNumber;
    m_state = now;
    announceChanges();
}

QVariantMap MprisService::announcedProperties(const QDBusAbstractAdaptor *adaptor)
{
    QVariantMap properties;
    const QMetaObject *meta = adaptor->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (std::find_if(std::begin(kUnannounced), std::end(kUnannounced), [&](const char *name) {
                return qstrcmp(name, property.name()) == 0;
            }) != std::end(kUnannounced))
            continue;
        properties.insert(QString::fromLatin1(property.name()), property.read(adaptor));
    }
    return properties;
}

void MprisService::announceChanges()
{
    for (qsizetype i = 0; i < m_adaptors.size(); ++i) {
        const QVariantMap now = announcedProperties(m_adaptors.at(i));
        QVariantMap &last = m_announced[i];
        QVariantMap changed;
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            if (last.value(it.key()) != it.value())
                changed.insert(it.key(), it.value());
        }
        if (changed.isEmpty())
            continue;
        last = now;
        if (!m_started)
            continue;
        QDBusMessage signal =
            QDBusMessage::createSignal(kObjectPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"));
        signal.setArguments({interfaceName(m_adaptors.at(i)), changed, QStringList()});
        QDBusConnection::sessionBus().send(signal);
        qCDebug(lcMpris) << "changed" << interfaceName(m_adaptors.at(i)) << changed;
    }
}

bool MprisService::perform(Command command)
{
    return m_face && m_face->perform(command);
}

bool MprisService::moveVolume(int volume)
{
    return m_face && m_face->moveVolume(volume);
}

void MprisService::raise()
{
    if (m_face)
        m_face->raise();
}
