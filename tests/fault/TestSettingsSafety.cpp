#include "PanelFixture.h"
#include "SettingsGeneration.h"
#include "SimServer.h"
#include "app/ConnectionInput.h"
#include "common/IniFile.h"
#include "common/Windows1252.h"
#include "panel/Kurvan.h"

#include <QDirIterator>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

constexpr int kKills = 100;
constexpr int kSettle = 15000;
// A round (two whole-file replacements, each synced to disk) takes a few milliseconds.
constexpr quint32 kMaxKillDelayUs = 8000;

QStringList g_logged;
QtMessageHandler g_previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_logged << QString::fromLatin1(context.category ? context.category : "") + u' ' + message;
    Q_UNUSED(type);
}

} // namespace

// The settings file under a writer that dies at any moment, and the password kept out of it.
class TestSettingsSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void killedWriterNeverLeavesADamagedFile()
    {
        using namespace SettingsGeneration;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ini = dir.filePath(u"Kurvan.ini"_s);
        const QString settings = u"Settings"_s;
        WriteIni(ini, u"Andere"_s, u"Bleibt"_s, u"ja"_s);
        WriteIni(ini, settings, u"LastIP"_s, value(1));
        WriteIni(ini, settings, u"Port"_s, value(1));

        QRandomGenerator random(20240611);
        quint64 next = 1;
        int betweenEntries = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            QProcess writer;
            writer.start(QStringLiteral(KURVAN_INI_WRITER), {ini, QString::number(next)});
            QVERIFY(writer.waitForStarted(kSettle));
            // Wait for some whole rounds (none at all, sometimes), then kill after a random
            // pause shorter than one round: the writer is in its next round by then, at whatever
            // step of which write chance puts it. The pause chooses the moment; it waits for
            // nothing.
            const int rounds = static_cast<int>(random.bounded(4));
            quint64 reported = 0;
            for (int seen = 0; seen < rounds;) {
                if (!writer.canReadLine())
                    QVERIFY2(writer.waitForReadyRead(kSettle), "the writer stopped reporting");
                while (writer.canReadLine() && seen < rounds) {
                    reported = writer.readLine().trimmed().toULongLong();
                    ++seen;
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(kMaxKillDelayUs)));
            writer.kill();
            QVERIFY(writer.waitForFinished(kSettle));

            const QString address = ReadIni(ini, settings, u"LastIP"_s, QString());
            const QString port = ReadIni(ini, settings, u"Port"_s, QString());
            const std::optional<quint64> addressRound = roundOf(address);
            const std::optional<quint64> portRound = roundOf(port);
            QVERIFY2(addressRound && portRound, fileBytes(ini).left(120).constData());
            // The whole file, byte for byte: an old or a new version, never a mix or a torso.
            QCOMPARE(fileBytes(ini), QByteArray("[Andere]\r\nBleibt=ja\r\n[Settings]\r\nLastIP=") + address.toLatin1() +
                                         "\r\nPort=" + port.toLatin1() + "\r\n");
            // A round reported done is there in full; the address goes first, so the port is at
            // most one round behind it.
            QVERIFY(*portRound >= reported);
            QVERIFY(*addressRound == *portRound || *addressRound == *portRound + 1);
            if (*addressRound != *portRound)
                ++betweenEntries;
            next = *addressRound;
        }
        qInfo("%d kills, %d of them between the two entries of a round; last round %llu", kKills, betweenEntries,
              static_cast<unsigned long long>(next));
    }

    void passwordReachesNoFileAndNoLog()
    {
        const QString secret = u"Gr\u00FCn-7d1f;x=y"_s;
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString ini = dir.filePath(u"Kurvan.ini"_s);
        SimServer jukebox;
        jukebox.setPassword(secret);
        QVERIFY(jukebox.listen(QHostAddress::LocalHost));
        const QString port = QString::number(jukebox.port());
        WriteIni(ini, u"Settings"_s, u"LastIP"_s, u"127.0.0.1"_s);
        WriteIni(ini, u"Settings"_s, u"Port"_s, port);

        // Everything the client logs, its debug lines included, is captured.
        QLoggingCategory::setFilterRules(u"kurvan.link.debug=true\nkurvan.panel.debug=true"_s);
        g_logged.clear();
        g_previousHandler = qInstallMessageHandler(captureMessage);

        QPointer<Kurvan> panel;
        {
            ConnectionInput dialog(SettingsFiles::at(ini));
            dialog.show();
            dialog.findChild<QLineEdit *>(u"txtPassword"_s)->setText(secret);
            QTest::mouseClick(dialog.findChild<QPushButton *>(u"cmdConnect"_s), Qt::LeftButton);
            panel = dialog.panel();
            QVERIFY(panel);
            QTRY_VERIFY_WITH_TIMEOUT(panel && panel->findChild<QTimer *>(u"tmrCheckStatus"_s)->isActive(), kSettle);
        }
        qInstallMessageHandler(g_previousHandler);
        QLoggingCategory::setFilterRules(QString());

        // It went over the wire, and the login was logged, masked.
        QVERIFY(jukebox.received().contains(u"Password="_s + secret));
        QVERIFY(g_logged.filter(u"Password=***"_s).size() == 1);
        for (const QString &line : std::as_const(g_logged))
            QVERIFY2(!line.contains(secret), qPrintable(line));

        // No file holds it, in the wire's code page or in UTF-8; the settings file holds the
        // address and the port and nothing else.
        QDirIterator files(dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QByteArray bytes = fileBytes(files.next());
            QVERIFY2(!bytes.contains(ToWindows1252(secret)) && !bytes.contains(secret.toUtf8()),
                     qPrintable(files.filePath()));
        }
        QCOMPARE(fileBytes(ini), QByteArray("[Settings]\r\nLastIP=127.0.0.1\r\nPort=") + port.toLatin1() + "\r\n");
        delete panel.data();
    }
};

QTEST_MAIN(TestSettingsSafety)
#include "TestSettingsSafety.moc"
