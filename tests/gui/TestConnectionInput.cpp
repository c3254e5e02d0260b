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
        WriteIni(file, QStringLiteral("Settings"), QStringLiteral("LastIP"), ip);
        WriteIni(file, QStringLiteral("Settings"), QStringLiteral("Port"), portText);
    }
    // What a settings file (by default the test's) holds under key; empty for nothing.
    QString saved(const char *key, const QString &file = {}) const
    {
        return ReadIni(file.isEmpty() ? ini : file, QStringLiteral("Settings"), QLatin1String(key), QString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(loopbackLoginWorks(), "no login over loopback: the wire is broken, every case would fail");
    }

    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        ini = folder->filePath(QStringLiteral("Kurvan.ini"));
    }
    void cleanup()
    {
        dialog.reset();
        folder.reset();
    }

    void opensWithDefaultsAndWritesNothing()
    {
        open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Serveradresse"));
        QCOMPARE(dialog->size(), QSize(187, 119));
        QCOMPARE(address()->text(), QStringLiteral("192.168.0.2"));
        QCOMPARE(port()->text(), QStringLiteral("7620"));
        QCOMPARE(password()->text(), QString());
        QCOMPARE(password()->echoMode(), QLineEdit::Password);
        QCOMPARE(password()->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password()), int(u'*'));
        QCOMPARE(button()->text(), QStringLiteral("Verbinden"));
        QVERIFY(button()->isDefault());
        QCOMPARE(QApplication::focusWidget(), address());
        QCOMPARE(get<QLabel>("Label1")->text(), QStringLiteral("IP-Adresse/Host:"));
        QCOMPARE(get<QLabel>("Label2")->text(), QStringLiteral("Port:"));
        QCOMPARE(get<QLabel>("Label3")->text(), QStringLiteral("Passwort:"));
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
        writeSettings(QStringLiteral("jukebox.example.invalid"), QStringLiteral("1234567"));
        open();
        QCOMPARE(address()->text(), QStringLiteral("jukebox.example"));
        QCOMPARE(port()->text(), QStringLiteral("12345"));
    }

    void settingsBesideAReadOnlyProgram()
    {
        // An administrator preset the address beside a program the user cannot write to.
        QTemporaryDir program;
        const QString beside = program.filePath(QStringLiteral("Kurvan.ini"));
        const QString user = folder->filePath(QStringLiteral("Kurvan.ini"));
        writeSettingsTo(beside, QStringLiteral("jukebox.invalid"), QStringLiteral("7621"));
        const auto never = [](const QFileInfo &) { return false; };
        const SettingsFiles files = chooseSettingsFiles(program.path(), folder->path(), {}, never);
        QCOMPARE(files.write, user);

        dialog = std::make_unique<ConnectionInput>(files);
        QCOMPARE(address()->text(), QStringLiteral("jukebox.invalid"));
        QCOMPARE(port()->text(), QStringLiteral("7621"));
        address()->setText(QStringLiteral("127.0.0.1"));
        port()->setText(QStringLiteral("abc")); // no port: the attempt starts nothing
        QTest::mouseClick(button(), Qt::LeftButton);
        dialog->close();
        QCOMPARE(saved("LastIP", beside), QStringLiteral("jukebox.invalid"));
        // What the user entered wins from now on.
        dialog = std::make_unique<ConnectionInput>(files);
        QCOMPARE(address()->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(port()->text(), QStringLiteral("abc"));

        // Where the program's folder can be written, the file beside it is the only one.
        const auto always = [](const QFileInfo &) { return true; };
        QCOMPARE(chooseSettingsFiles(program.path(), folder->path(), {}, always).read, QStringList{beside});
        QCOMPARE(chooseSettingsFiles(folder->filePath(QStringLiteral("leer")), program.path(), {}, always).write,
                 folder->filePath(QStringLiteral("leer/Kurvan.ini")));
    }

    void settingsOfAProgramInASystemFolder_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("userFile"); // remembered in the user's folder, the one beside only read
#ifdef Q_OS_WIN
        const QString programFiles = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
        if (!programFiles.isEmpty())
            QTest::newRow("Program Files") << programFiles + QStringLiteral("/Kurvan Client") << true;
#else
        QTest::newRow("this build's installation") << systemProgramFolders().value(0) << true;
        QTest::newRow("the package's /usr/bin") << QStringLiteral("/usr/bin") << true;
        QTest::newRow("/usr/local/bin") << QStringLiteral("/usr/local/bin") << true;
        QTest::newRow("/bin") << QStringLiteral("/bin/") << true;
        QTest::newRow("below /opt") << QStringLiteral("/opt/kurvan-client/bin") << true;
        QTest::newRow("name starting like /usr") << QStringLiteral("/usrx/bin") << false;
        QTest::newRow("only seemingly below /opt") << QStringLiteral("/opt/../srv/kurvan") << false;
#endif
        QTest::newRow("a user's folder") << QDir::homePath() << false;
    }
    void settingsOfAProgramInASystemFolder()
    {
        // Root may write every one of these folders; that must not decide.
        QFETCH(QString, program);
        QFETCH(bool, userFile);
        const auto always = [](const QFileInfo &) { return true; };
        const QString beside = QDir(program).filePath(QStringLiteral("Kurvan.ini"));
        const QString user = folder->filePath(QStringLiteral("Kurvan.ini"));
        const SettingsFiles files = chooseSettingsFiles(program, folder->path(), systemProgramFolders(), always);
        QCOMPARE(files.write, userFile ? user : beside);
        QCOMPARE(files.read, userFile ? QStringList({user, beside}) : QStringList{beside});
    }

    void emptyAddressIsIgnored()
    {
        writeSettings(QString(), QStringLiteral("7620"));
        open();
        QCOMPARE(address()->text(), QString());
        QTest::mouseClick(button(), Qt::LeftButton);
        QVERIFY(button()->isEnabled());
        QCOMPARE(button()->text(), QStringLiteral("Verbinden"));
        QVERIFY(!dialog->panel());
        QCOMPARE(saved("Port"), QStringLiteral("7620"));
    }

    void successfulAttemptHandsOverToThePanel()
    {
        SimServer jukebox;
        QVERIFY(jukebox.listen());
        jukebox.faults().withholdLogin = true;
        writeSettings(QStringLiteral("127.0.0.1"), QString::number(jukebox.port()));
        open();
        QSignalSpy shown(dialog.get(), &ConnectionInput::panelShown);
        // Blanks around and inside belong to the password: it goes out as typed.
        QTest::keyClicks(password(), QStringLiteral(" Gr"));
        password()->insert(QStringLiteral("\u00FCn 1,2;3 "));
        QTest::keyClick(password(), Qt::Key_Return); // Enter presses the default button
        QCOMPARE(button()->text(), QStringLiteral("Verbinde..."));
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
        QTRY_COMPARE(jukebox.received(), QStringList{QStringLiteral("Password= Gr\u00FCn 1,2;3 ")});
        QVERIFY(!get<QTimer>("tmrTimeOut")->isActive());
        QCOMPARE(saved("LastIP"), QStringLiteral("127.0.0.1"));
        // The password never reaches the settings file.
        QVERIFY(QFile::exists(ini));
        QVERIFY(!fileBytes(ini).contains("Gr"));
        delete panel.data();
    }

    void timeOutReportsAndAllowsAFreshAttempt()
    {
        writeSettings(QStringLiteral("127.0.0.1"), QString::number(closedPort()));
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
            panelGoneDuringBox =
                first.isNull() && !dialog->panel() && button()->text() == QStringLiteral("Verbinde...");
            box->button(QMessageBox::Ok)->click();
        });
        watcher.start(20);
        QTest::mouseClick(button(), Qt::LeftButton);
        first = dialog->panel();
        QVERIFY(first);
        QTRY_COMPARE(boxText, QStringLiteral("Verbindung konnte nicht hergestellt werden (Time Out)!"));
        QCOMPARE(boxTitle, QStringLiteral("Kurvan Client"));
        QCOMPARE(boxIcon, QMessageBox::Information);
        QVERIFY(panelGoneDuringBox);
        QTRY_VERIFY(button()->isEnabled());
        QCOMPARE(button()->text(), QStringLiteral("Verbinden"));
        QCOMPARE(address()->text(), QStringLiteral("127.0.0.1"));

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
        QTRY_COMPARE(jukebox.received(), QStringList{QStringLiteral("Password=")});
        QCOMPARE(saved("Port"), QString::number(jukebox.port()));
        delete second.data();
    }

    void closingWhileConnectingEndsTheAttempt()
    {
        // A port text that is no port starts no connection: the attempt stays pending.
        writeSettings(QStringLiteral("127.0.0.1"), QStringLiteral("abc"));
        open();
        QTest::mouseClick(button(), Qt::LeftButton);
        QPointer<Kurvan> panel = dialog->panel();
        QVERIFY(panel);
        QCOMPARE(saved("Port"), QStringLiteral("abc"));
        dialog->close();
        QVERIFY(panel.isNull());
        QVERIFY(!get<QTimer>("tmrTimeOut")->isActive());
        QCOMPARE(saved("LastIP"), QStringLiteral("127.0.0.1"));
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
