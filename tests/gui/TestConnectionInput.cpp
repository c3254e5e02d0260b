#include "Controls.h"
#include "PanelFixture.h"
#include "SimServer.h"
#include "app/ConnectionInput.h"
#include "common/IniFile.h"
#include "panel/Kurvan.h"
#include "widgets/FitLabel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The connection dialog with a settings file of the test's own, pointed only at 127.0.0.1.
class TestConnectionInput : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    QString ini;
    std::unique_ptr<ConnectionInput> dialog;

    template <typename T> T *get(const char *name) const { return control<T>(dialog.get(), name); }
    QLineEdit *address() const { return get<QLineEdit>("txtServerIP"); }
    QLineEdit *port() const { return get<QLineEdit>("txtServerPort"); }
    QLineEdit *password() const { return get<QLineEdit>("txtPassword"); }
    QPushButton *button() const { return get<QPushButton>("cmdConnect"); }

    void open()
    {
        dialog = std::make_unique<ConnectionInput>(SettingsFiles::at(ini));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void writeSettings(const QString &ip, const QString &portText) const { writeSettingsTo(ini, ip, portText); }
    static void writeSettingsTo(const QString &file, const QString &ip, const QString &portText)
    {
        WriteIni(file, u"Settings"_s, u"LastIP"_s, ip);
        WriteIni(file, u"Settings"_s, u"Port"_s, portText);
    }
    // What a settings file (by default the test's) holds under key; empty for nothing.
    QString saved(const char *key, const QString &file = {}) const
    {
        return ReadIni(file.isEmpty() ? ini : file, u"Settings"_s, QLatin1String(key), QString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        ini = folder->filePath(u"Kurvan.ini"_s);
    }
    void cleanup()
    {
        dialog.reset();
        folder.reset();
    }

    void opensWithDefaultsAndWritesNothing()
    {
        open();
        QCOMPARE(dialog->windowTitle(), u"Serveradresse"_s);
        QCOMPARE(dialog->size(), QSize(187, 119));
        QCOMPARE(address()->text(), u"192.168.0.2"_s);
        QCOMPARE(port()->text(), u"7620"_s);
        QCOMPARE(password()->text(), QString());
        QCOMPARE(password()->echoMode(), QLineEdit::Password);
        QCOMPARE(password()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password()), int(u'*'));
        QCOMPARE(button()->text(), u"Verbinden"_s);
        QVERIFY(button()->isDefault());
        QCOMPARE(QApplication::focusWidget(), address());
        QCOMPARE(get<QLabel>("Label1")->text(), u"IP-Adresse/Host:"_s);
        QCOMPARE(get<QLabel>("Label2")->text(), u"Port:"_s);
        QCOMPARE(get<QLabel>("Label3")->text(), u"Passwort:"_s);
        // Focus order: address, port, button, password.
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        for (QWidget *next : {static_cast<QWidget *>(port()), static_cast<QWidget *>(button()),
                              static_cast<QWidget *>(password()), static_cast<QWidget *>(address())}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        dialog->close();
        QVERIFY(!QFile::exists(ini));
    }

    void layoutMatchesTheWindowTable()
    {
        open();
        const QList<std::pair<const char *, QRect>> table = {
            {"Label1", {8, 8, 81, 13}},           {"Label2", {128, 8, 22, 13}},      {"txtServerIP", {8, 24, 113, 24}},
            {"txtServerPort", {128, 24, 49, 24}}, {"cmdConnect", {72, 88, 105, 25}}, {"Label3", {8, 62, 46, 13}},
            {"txtPassword", {56, 56, 121, 24}},
        };
        for (const auto &[name, rect] : table)
            QCOMPARE(get<QWidget>(name)->geometry(), rect);
        for (FitLabel *label : dialog->findChildren<FitLabel *>())
            QVERIFY2(!label->isElided(), qPrintable(label->objectName()));
        QCOMPARE(address()->maxLength(), 15);
        QCOMPARE(port()->maxLength(), 5);
    }

    void savedValuesAreCutToTheBoxes()
    {
        writeSettings(u"jukebox.example.invalid"_s, u"1234567"_s);
        open();
        QCOMPARE(address()->text(), u"jukebox.example"_s);
        QCOMPARE(port()->text(), u"12345"_s);
    }

    void settingsBesideAReadOnlyProgram()
    {
        // An administrator preset the address beside a program the user cannot write to.
        QTemporaryDir program;
        const QString beside = program.filePath(u"Kurvan.ini"_s);
        const QString user = folder->filePath(u"Kurvan.ini"_s);
        writeSettingsTo(beside, u"jukebox.invalid"_s, u"7621"_s);
        const auto never = [](const QFileInfo &) { return false; };
        const SettingsFiles files = chooseSettingsFiles(program.path(), folder->path(), {}, never);
        QCOMPARE(files.write, user);

        dialog = std::make_unique<ConnectionInput>(files);
        QCOMPARE(address()->text(), u"jukebox.invalid"_s);
        QCOMPARE(port()->text(), u"7621"_s);
        address()->setText(u"127.0.0.1"_s);
        port()->setText(u"abc"_s); // no port: the attempt starts nothing
        QTest::mouseClick(button(), Qt::LeftButton);
        dialog->close();
        QCOMPARE(saved("LastIP", beside), u"jukebox.invalid"_s);
        // What the user entered wins from now on.
        dialog = std::make_unique<ConnectionInput>(files);
        QCOMPARE(address()->text(), u"127.0.0.1"_s);
        QCOMPARE(port()->text(), u"abc"_s);

        // Where the program's folder can be written, the file beside it is the only one.
        const auto always = [](const QFileInfo &) { return true; };
        QCOMPARE(chooseSettingsFiles(program.path(), folder->path(), {}, always).read, QStringList{beside});
        QCOMPARE(chooseSettingsFiles(folder->filePath(u"leer"_s), program.path(), {}, always).write,
                 folder->filePath(u"leer/Kurvan.ini"_s));
    }

    void settingsOfAProgramInASystemFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("userFile"); // remembered in the user's folder, the one beside only read
#ifdef Q_OS_WIN
        const QString programFiles = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
        if (!programFiles.isEmpty())
            QTest::newRow("Program Files") << programFiles + u"/Kurvan Client"_s << true;
#else
        QTest::newRow("this build's installation") << systemProgramFolders().value(0) << true;
        QTest::newRow("the package's /usr/bin") << u"/usr/bin"_s << true;
        QTest::newRow("/usr/local/bin") << u"/usr/local/bin"_s << true;
        QTest::newRow("/bin") << u"/bin/"_s << true;
        QTest::newRow("below /opt") << u"/opt/kurvan-client/bin"_s << true;
        QTest::newRow("name starting like /usr") << u"/usrx/bin"_s << false;
        QTest::newRow("only seemingly below /opt") << u"/opt/../srv/kurvan"_s << false;
#endif
        QTest::newRow("a user's folder") << QDir::homePath() << false;
    }
    void settingsOfAProgramInASystemFolder()
    {
        // Root may write every one of these folders; that must not decide.
        QFETCH(QString, program);
        QFETCH(bool, userFile);
        const auto always = [](const QFileInfo &) { return true; };
        const QString beside = QDir(program).filePath(u"Kurvan.ini"_s);
        const QString user = folder->filePath(u"Kurvan.ini"_s);
        const SettingsFiles files = chooseSettingsFiles(program, folder->path(), systemProgramFolders(), always);
        QCOMPARE(files.write, userFile ? user : beside);
        QCOMPARE(files.read, userFile ? QStringList({user, beside}) : QStringList{beside});
    }

    void emptyAddressIsIgnored()
    {
        writeSettings(QString(), u"7620"_s);
        open();
        QCOMPARE(address()->text(), QString());
        QTest::mouseClick(button(), Qt::LeftButton);
        QVERIFY(button()->isEnabled());
        QCOMPARE(button()->text(), u"Verbinden"_s);
        QVERIFY(!dialog->panel());
        QCOMPARE(saved("Port"), u"7620"_s);
    }

    void successfulAttemptHandsOverToThePanel()
    {
        SimServer jukebox;
        QVERIFY(jukebox.listen());
        jukebox.faults().withholdLogin = true;
        writeSettings(u"127.0.0.1"_s, QString::number(jukebox.port()));
        open();
        QSignalSpy shown(dialog.get(), &ConnectionInput::panelShown);
        // Blanks around and inside belong to the password: it goes out as typed.
        QTest::keyClicks(password(), u" Gr"_s);
        password()->insert(u"\u00FCn 1,2;3 "_s);
        QTest::keyClick(password(), Qt::Key_Return); // Enter presses the default button
        QCOMPARE(button()->text(), u"Verbinde..."_s);
        QVERIFY(!button()->isEnabled());
        QPointer<Kurvan> panel = dialog->panel();
        QVERIFY(panel);
        QVERIFY(!panel->isVisible());

        QTRY_VERIFY(!dialog->isVisible());
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QVERIFY(!dialog->panel());
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.first().first().value<Kurvan *>(), panel.data());
        QTRY_COMPARE(jukebox.received(), QStringList{u"Password= Gr\u00FCn 1,2;3 "_s});
        QVERIFY(!get<QTimer>("tmrTimeOut")->isActive());
        QCOMPARE(saved("LastIP"), u"127.0.0.1"_s);
        // The password never reaches the settings file.
        QVERIFY(QFile::exists(ini));
        QVERIFY(!fileBytes(ini).contains("Gr"));
        delete panel.data();
    }

    void timeOutReportsAndAllowsAFreshAttempt()
    {
        writeSettings(u"127.0.0.1"_s, QString::number(closedPort()));
        open();
        dialog->setConnectTimeout(300);
        QString boxText;
        QString boxTitle;
        QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
        bool panelGoneDuringBox = false;
        QPointer<Kurvan> first;
        // The box is modal: it is answered from a timer that watches for it.
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            watcher.stop();
            boxText = box->text();
            boxTitle = box->windowTitle();
            boxIcon = box->icon();
            panelGoneDuringBox = first.isNull() && !dialog->panel() && button()->text() == u"Verbinde..."_s;
            box->button(QMessageBox::Ok)->click();
        });
        watcher.start(20);
        QTest::mouseClick(button(), Qt::LeftButton);
        first = dialog->panel();
        QVERIFY(first);
        QTRY_COMPARE(boxText, u"Verbindung konnte nicht hergestellt werden (Time Out)!"_s);
        QCOMPARE(boxTitle, u"Kurvan Client"_s);
        QCOMPARE(boxIcon, QMessageBox::Information);
        QVERIFY(panelGoneDuringBox);
        QTRY_VERIFY(button()->isEnabled());
        QCOMPARE(button()->text(), u"Verbinden"_s);
        QCOMPARE(address()->text(), u"127.0.0.1"_s);

        // A second attempt, now against a jukebox that listens, gets a fresh panel.
        SimServer jukebox;
        QVERIFY(jukebox.listen());
        jukebox.faults().withholdLogin = true;
        port()->setText(QString::number(jukebox.port()));
        dialog->setConnectTimeout(10000);
        QTest::mouseClick(button(), Qt::LeftButton);
        QPointer<Kurvan> second = dialog->panel();
        QVERIFY(second);
        QTRY_VERIFY(!dialog->isVisible());
        QTRY_COMPARE(jukebox.received(), QStringList{u"Password="_s});
        QCOMPARE(saved("Port"), QString::number(jukebox.port()));
        delete second.data();
    }

    void closingWhileConnectingEndsTheAttempt()
    {
        // A port text that is no port starts no connection: the attempt stays pending.
        writeSettings(u"127.0.0.1"_s, u"abc"_s);
        open();
        QTest::mouseClick(button(), Qt::LeftButton);
        QPointer<Kurvan> panel = dialog->panel();
        QVERIFY(panel);
        QCOMPARE(saved("Port"), u"abc"_s);
        dialog->close();
        QVERIFY(panel.isNull());
        QVERIFY(!get<QTimer>("tmrTimeOut")->isActive());
        QCOMPARE(saved("LastIP"), u"127.0.0.1"_s);
    }

    void escapeDoesNotClose()
    {
        open();
        QTest::keyClick(address(), Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
    }
};

QTEST_MAIN(TestConnectionInput)
#include "TestConnectionInput.moc"
