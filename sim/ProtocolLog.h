#pragma once

#include <QByteArrayView>
#include <QString>

class QIODevice;

// The human-readable trace of the conversation with every client, one line per event, written
// as UTF-8 to a device (standard output in the program). Without a device it stays silent.
// The password of a login is never written: "Password=" is always followed by "***".
class ProtocolLog
{
public:
    // nullptr silences the log. The device must outlive the log or be replaced first.
    void setDevice(QIODevice *device) { m_device = device; }
    bool isEnabled() const { return m_device != nullptr; }

    // Message texts as they travel, in the Windows code page of the wire.
    void received(int client, QByteArrayView text);
    void sent(int client, QByteArrayView text);
    // Bytes sent outside any frame.
    void sentRaw(int client, QByteArrayView bytes);
    void note(int client, const QString &what);

private:
    void write(int client, const QString &what);

    QIODevice *m_device = nullptr;
};

// The bytes as readable text: printable characters of the Windows code page as themselves,
// every control byte and every byte the code page leaves undefined as "\xNN".
QString PrintableBytes(QByteArrayView bytes);
