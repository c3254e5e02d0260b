#include "PanelFixture.h"
#include "common/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kSection = u"Settings"_s;
const QString kKey = u"LastIP"_s;
const QString kDefault = u"192.168.0.2"_s;

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_file = m_dir->filePath(u"Kurvan.ini"_s);
    }

    void cleanup() { m_dir.reset(); }

    // Files as a user or another program may have left them. A null content means no file.
    void testRead_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no file") << QByteArray() << kDefault;
        QTest::newRow("empty file") << QByteArray("") << kDefault;
        QTest::newRow("other section only") << QByteArray("[Other]\r\nLastIP=1.2.3.4\r\n") << kDefault;
        QTest::newRow("section without the key") << QByteArray("[Settings]\r\nPort=7620\r\n") << kDefault;
        QTest::newRow("key before any section") << QByteArray("LastIP=1.2.3.4\r\n[Settings]\r\n") << kDefault;
        QTest::newRow("key in the next section")
            << QByteArray("[Settings]\r\nPort=1\r\n[B]\r\nLastIP=1.2.3.4\r\n") << kDefault;
        QTest::newRow("longer key is another key") << QByteArray("[Settings]\r\nLastIPv6=::1\r\n") << kDefault;
        QTest::newRow("empty entry") << QByteArray("[Settings]\r\nLastIP=\r\n") << QString();
        QTest::newRow("empty quoted entry") << QByteArray("[Settings]\r\nLastIP=\"\"\r\n") << QString();
        QTest::newRow("quoted blanks") << QByteArray("[Settings]\r\nLastIP = \" a \"\r\n") << u" a "_s;
        QTest::newRow("CRLF line ends") << QByteArray("[Settings]\r\nPort=7620\r\nLastIP=127.0.0.1\r\nX=y\r\n")
                                        << u"127.0.0.1"_s;
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[Settings]\r\nLastIP=host\r\n") << u"host"_s;
        QTest::newRow("LF line ends") << QByteArray("[Settings]\nLastIP=127.0.0.1\n") << u"127.0.0.1"_s;
        QTest::newRow("no line end at the end") << QByteArray("[Settings]\r\nLastIP=127.0.0.1") << u"127.0.0.1"_s;
        QTest::newRow("same key in an earlier section")
            << QByteArray("[Other]\r\nLastIP=wrong\r\n[Settings]\r\nLastIP=right\r\n") << u"right"_s;
        QTest::newRow("names in other case") << QByteArray("[SETTINGS]\r\nlastip=host\r\n") << u"host"_s;
        QTest::newRow("equals sign in value") << QByteArray("[Settings]\r\nLastIP=a=b\r\n") << u"a=b"_s;
        QTest::newRow("host name") << QByteArray("[Settings]\r\nLastIP=jukebox.local\r\n") << u"jukebox.local"_s;
        QTest::newRow("Western bytes") << QByteArray("[Settings]\r\nLastIP=K\xFC"
                                                     "che \x80\r\n")
                                       << u"Küche €"_s;
    }

    void testRead()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        if (!content.isNull())
            QVERIFY(writeFileBytes(m_file, content));
        QCOMPARE(ReadIni(m_file, kSection, kKey, kDefault), expected);
    }

    // The connection dialog's first accepted click: no file yet, then address and port.
    void testWriteCreatesFile()
    {
        QVERIFY(!QFile::exists(m_file));
        WriteIni(m_file, kSection, u"LastIP"_s, u"127.0.0.7"_s);
        WriteIni(m_file, kSection, u"Port"_s, u"7621"_s);

        QCOMPARE(ReadIni(m_file, kSection, u"LastIP"_s, kDefault), u"127.0.0.7"_s);
        QCOMPARE(ReadIni(m_file, kSection, u"Port"_s, u"7620"_s), u"7621"_s);
        const QByteArray bytes = fileBytes(m_file);
        QCOMPARE(bytes.count("[Settings]"), 1);
        QVERIFY(bytes.contains("LastIP=127.0.0.7"));
        QVERIFY(bytes.contains("Port=7621"));
        // Written aside and renamed: nothing else may be left in the folder.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"Kurvan.ini"_s});
    }

    void testWriteSameKeyTwice()
    {
        WriteIni(m_file, kSection, kKey, u"first"_s);
        WriteIni(m_file, kSection, kKey, u"second"_s);
        QCOMPARE(ReadIni(m_file, kSection, kKey, kDefault), u"second"_s);
        const QByteArray bytes = fileBytes(m_file);
        QCOMPARE(bytes.count("LastIP="), 1);
        QVERIFY(!bytes.contains("first"));
    }

    void testRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");

        QTest::newRow("comma") << u"a,b"_s << u"a,b"_s;
        QTest::newRow("semicolon") << u"a;b"_s << u"a;b"_s;
        QTest::newRow("starts with semicolon") << u";x"_s << u";x"_s;
        QTest::newRow("blanks at both ends") << u"  127.0.0.1  "_s << u"  127.0.0.1  "_s;
        QTest::newRow("equals sign") << u"=a=b="_s << u"=a=b="_s;
        QTest::newRow("looks like a section") << u"[Other]"_s << u"[Other]"_s;
        QTest::newRow("quotes") << u"\"quoted\""_s << u"\"quoted\""_s;
        QTest::newRow("umlaut") << u"ä"_s << u"ä"_s;
        QTest::newRow("euro") << u"€"_s << u"€"_s;
        QTest::newRow("Western mix") << u"Größe 5 € ‰ Œ"_s << u"Größe 5 € ‰ Œ"_s;
        QTest::newRow("outside the code page") << u"Ā→x"_s << u"??x"_s;
        // Values beyond what a line holds are cut.
        QString digits;
        for (int i = 0; i < 5000; ++i)
            digits += QChar(u'0' + i % 10);
        QTest::newRow("long value: 1023 bytes come back whole") << digits.left(1023) << digits.left(1023);
        QTest::newRow("long value: 1024 bytes come back as 1023") << digits.left(1024) << digits.left(1023);
        QTest::newRow("long value: 5000 bytes come back as 1023") << digits << digits.left(1023);
        // One byte per character on disk: the cut counts those bytes, not UTF-8 ones.
        QTest::newRow("long value: umlauts are one byte each") << QString(1100, u'ä') << QString(1023, u'ä');
    }

    void testRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        WriteIni(m_file, kSection, kKey, value);
        QCOMPARE(ReadIni(m_file, kSection, kKey, kDefault), expected);
    }

    void testBytesOnDisk_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("line");

        QTest::newRow("umlaut") << u"ä"_s << QByteArray("LastIP=\xE4");
        QTest::newRow("euro") << u"€"_s << QByteArray("LastIP=\x80");
        QTest::newRow("sharp s and capital umlaut") << u"ßÄ"_s << QByteArray("LastIP=\xDF\xC4");
    }

    void testBytesOnDisk()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, line);
        WriteIni(m_file, kSection, kKey, value);
        const QList<QByteArray> lines = fileBytes(m_file).split('\n');
        QVERIFY(std::any_of(lines.begin(), lines.end(), [&](const QByteArray &l) { return l.trimmed() == line; }));
    }

    void testOtherEntriesSurvive()
    {
        QVERIFY(writeFileBytes(m_file, "; kept by hand\r\n"
                                       "[Window]\r\n"
                                       "Left=100\r\n"
                                       "LastIP=window-section\r\n"
                                       "\r\n"
                                       "[Settings]\r\n"
                                       "Port=7621\r\n"
                                       "Extra=keep me\r\n"
                                       "\r\n"
                                       "[Later]\r\n"
                                       "Top=5\r\n"));
        WriteIni(m_file, kSection, kKey, u"127.1.1.1"_s);
        WriteIni(m_file, u"Window"_s, u"Left"_s, u"200"_s);

        QCOMPARE(ReadIni(m_file, kSection, kKey, kDefault), u"127.1.1.1"_s);
        QCOMPARE(ReadIni(m_file, kSection, u"Port"_s, QString()), u"7621"_s);
        QCOMPARE(ReadIni(m_file, kSection, u"Extra"_s, QString()), u"keep me"_s);
        QCOMPARE(ReadIni(m_file, u"Window"_s, u"Left"_s, QString()), u"200"_s);
        QCOMPARE(ReadIni(m_file, u"Window"_s, kKey, QString()), u"window-section"_s);
        QCOMPARE(ReadIni(m_file, u"Later"_s, u"Top"_s, QString()), u"5"_s);
        const QByteArray bytes = fileBytes(m_file);
        QVERIFY(bytes.contains("; kept by hand"));
        QCOMPARE(bytes.count("[Settings]"), 1);
        QCOMPARE(bytes.count("[Window]"), 1);
    }

    void testNamesIgnoreCase()
    {
        QVERIFY(writeFileBytes(m_file, "[settings]\r\nlastip=old\r\n"));
        WriteIni(m_file, kSection, kKey, u"new"_s);
        QCOMPARE(ReadIni(m_file, u"SETTINGS"_s, u"LASTIP"_s, kDefault), u"new"_s);
        const QByteArray bytes = fileBytes(m_file).toLower();
        QCOMPARE(bytes.count("[settings]"), 1);
        QCOMPARE(bytes.count("lastip="), 1);
    }

    // A value must never grow into entries or sections of its own.
    void testLineBreakInValue()
    {
        WriteIni(m_file, kSection, kKey, u"a\r\n[Evil]\nPort=1"_s);
        QCOMPARE(ReadIni(m_file, u"Evil"_s, u"Port"_s, u"none"_s), u"none"_s);
        QCOMPARE(ReadIni(m_file, kSection, u"Port"_s, u"none"_s), u"none"_s);
        const QString back = ReadIni(m_file, kSection, kKey, kDefault);
        QVERIFY2(back.startsWith(u'a') && back.endsWith(u"Port=1"_s), qPrintable(back));
    }

    void testFailedWriteIsSilent()
    {
        const QString unreachable = m_dir->filePath(u"missing/folder/Kurvan.ini"_s);
        WriteIni(unreachable, kSection, kKey, u"x"_s);
        QVERIFY(!QFile::exists(unreachable));
        QCOMPARE(ReadIni(unreachable, kSection, kKey, kDefault), kDefault);
    }

    // A file far larger than any settings file is somebody else's: a write must not replace it
    // with our entries.
    void testForeignFileLeftAlone()
    {
        const QByteArray payload(2 << 20, 'z');
        QVERIFY(writeFileBytes(m_file, "[Settings]\r\nLastIP=1.2.3.4\r\n" + payload));
        WriteIni(m_file, kSection, kKey, u"127.0.0.1"_s);
        QVERIFY(fileBytes(m_file).contains(payload));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "TestIniFile.moc"
