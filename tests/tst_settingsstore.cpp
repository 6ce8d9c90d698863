#include "data/settingsstore.h"
#include "data/localserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The permission bits as the system keeps them (Qt maps them per user).
int modeOf(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}
#endif

} // namespace

// The store as a file: program values at the top level, one group per server.
class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
    QString path() const { return m_dir->filePath(QStringLiteral("Quarnel2.conf")); }
    // Writes values behind the store's back, as a user editing the file would.
    void writeRaw(const QString &key, const QString &value)
    {
        QSettings raw(path(), QSettings::IniFormat);
        raw.setValue(key, value);
    }
    QString readRaw(const QString &key)
    {
        QSettings raw(path(), QSettings::IniFormat);
        return raw.value(key).toString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void emptyStoreGivesDefaults()
    {
        SettingsStore store(path());
        store.LoadProgramSettings();
        const TProgramSettings &p = store.programSettings();
        QCOMPARE(p.Left, 50);
        QCOMPARE(p.Top, 50);
        QCOMPARE(p.Width, 640);
        QCOMPARE(p.Height, 480);
        QCOMPARE(p.Max, false);
        QCOMPARE(p.DBL, QStringLiteral("100"));
        QCOMPARE(p.DBHL, false);
        QCOMPARE(p.start, LocalServer::defaultStartCommand());
        QCOMPARE(p.stop, LocalServer::defaultStopCommand());
        // NULL looks like an empty text until the user names a text for it.
        QCOMPARE(p.NullText, QString());
        QVERIFY(store.ServerSections().isEmpty());
        // The store now exists, holding nothing.
        QVERIFY(QFile::exists(path()));
        QCOMPARE(QFileInfo(path()).size(), 0);
    }

    void programValuesRoundTrip()
    {
        {
            SettingsStore store(path());
            store.LoadProgramSettings();
            TProgramSettings &p = store.programSettings();
            p.Left = -8;
            p.Top = 120;
            p.Width = 1024;
            p.Height = 700;
            p.Max = true;
            p.DBL = QStringLiteral("25");
            p.DBHL = true;
            p.start = QStringLiteral("c:\\mysql\\bin\\mysqld.exe --console, --flush");
            p.stop = QString();
            p.NullText = QStringLiteral("(null)");
            store.SaveProgramSettings();
        }
        // Stored as text, booleans as "0"/"1".
        QCOMPARE(readRaw(QStringLiteral("Left")), QStringLiteral("-8"));
        QCOMPARE(readRaw(QStringLiteral("Max")), QStringLiteral("1"));
        QCOMPARE(readRaw(QStringLiteral("DBHL")), QStringLiteral("1"));
        SettingsStore again(path());
        again.LoadProgramSettings();
        const TProgramSettings &p = again.programSettings();
        QCOMPARE(p.Left, -8);
        QCOMPARE(p.Top, 120);
        QCOMPARE(p.Width, 1024);
        QCOMPARE(p.Height, 700);
        QCOMPARE(p.Max, true);
        QCOMPARE(p.DBL, QStringLiteral("25"));
        QCOMPARE(p.DBHL, true);
        QCOMPARE(p.start, QStringLiteral("c:\\mysql\\bin\\mysqld.exe --console, --flush"));
        // A stored empty text stays empty.
        QCOMPARE(p.stop, QString());
        QCOMPARE(p.NullText, QStringLiteral("(null)"));
        // Sections are only the servers, not the program values.
        QVERIFY(again.ServerSections().isEmpty());
    }

    void storedTextsOfNumbersAndFlags_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("boolean 2 is true") << "Max" << "2" << 1;
        QTest::newRow("boolean -1 is true") << "Max" << "-1" << 1;
        QTest::newRow("boolean 0") << "Max" << "0" << 0;
        QTest::newRow("boolean yes gives default") << "Max" << "yes" << 0;
        QTest::newRow("boolean empty gives default") << "Max" << "" << 0;
        QTest::newRow("integer") << "Width" << "800" << 800;
        QTest::newRow("negative integer") << "Left" << "-20" << -20;
        QTest::newRow("integer with letters gives default") << "Width" << "80px" << 640;
        QTest::newRow("fraction gives default") << "Height" << "1.5" << 480;
        QTest::newRow("empty integer gives default") << "Top" << "" << 50;
    }
    void storedTextsOfNumbersAndFlags()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(int, expected);
        writeRaw(key, stored);
        SettingsStore store(path());
        store.LoadProgramSettings();
        const TProgramSettings &p = store.programSettings();
        const QHash<QString, int> values = {{QStringLiteral("Max"), p.Max ? 1 : 0},
                                            {QStringLiteral("Width"), p.Width},
                                            {QStringLiteral("Height"), p.Height},
                                            {QStringLiteral("Left"), p.Left},
                                            {QStringLiteral("Top"), p.Top}};
        QCOMPARE(values.value(key), expected);
    }

    void profileDefaultsAndStoredEmptyPort()
    {
        writeRaw(QStringLiteral("nodefaults/User"), QStringLiteral("admin"));
        writeRaw(QStringLiteral("emptyport/Port"), QString());
        writeRaw(QStringLiteral("emptyport/Database"), QString());
        writeRaw(QStringLiteral("flags/Group"), QStringLiteral("2"));
        writeRaw(QStringLiteral("flags/Check"), QStringLiteral("yes"));
        writeRaw(QStringLiteral("flags/Auto"), QStringLiteral("1"));
        SettingsStore store(path());
        store.LoadServerProfile(QStringLiteral("nodefaults"));
        QCOMPARE(store.currentProfile().Host, QStringLiteral("nodefaults"));
        QCOMPARE(store.currentProfile().User, QStringLiteral("admin"));
        QCOMPARE(store.currentProfile().Port, QStringLiteral("3306"));
        QCOMPARE(store.currentProfile().Database, QStringLiteral("mysql"));
        store.LoadServerProfile(QStringLiteral("emptyport"));
        QCOMPARE(store.currentProfile().Port, QString());
        QCOMPARE(store.currentProfile().Database, QString());
        QCOMPARE(store.currentProfile().User, QString());
        store.LoadServerProfile(QStringLiteral("flags"));
        QCOMPARE(store.currentProfile().Group, true);
        QCOMPARE(store.currentProfile().Check, false);
        QCOMPARE(store.currentProfile().Auto, true);
        // Loading another section resets everything, the missing one included.
        store.LoadServerProfile(QStringLiteral("missing"));
        QCOMPARE(store.currentProfile().Host, QStringLiteral("missing"));
        QCOMPARE(store.currentProfile().Auto, false);
        QCOMPARE(store.currentProfile().User, QString());
        QCOMPARE(store.currentProfile().Port, QStringLiteral("3306"));
    }

    void hostNamesAreKeptExactly_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("plain") << "db1";
        QTest::newRow("dotted") << "db.example.org";
        QTest::newRow("slash") << "10.0.0.1/office";
        QTest::newRow("backslash") << "WORK\\server";
        QTest::newRow("blank") << "my server";
        QTest::newRow("percent") << "100%db";
        QTest::newRow("encoded look-alike") << "a%2Fb";
        QTest::newRow("General") << "General";
    }
    void hostNamesAreKeptExactly()
    {
        QFETCH(QString, host);
        {
            SettingsStore store(path());
            TServerProfile &profile = store.currentProfile();
            profile.Host = host;
            profile.User = QStringLiteral("u");
            profile.Psw = QStringLiteral("p w");
            profile.Database = QStringLiteral("shop");
            profile.Port = QStringLiteral("3307");
            profile.Group = true;
            profile.Check = true;
            store.SaveServerProfile(host);
        }
        SettingsStore store(path());
        store.LoadProgramSettings();
        QCOMPARE(store.ServerSections(), QStringList{host});
        store.LoadServerProfile(host);
        QCOMPARE(store.currentProfile().User, QStringLiteral("u"));
        QCOMPARE(store.currentProfile().Psw, QStringLiteral("p w"));
        QCOMPARE(store.currentProfile().Database, QStringLiteral("shop"));
        QCOMPARE(store.currentProfile().Port, QStringLiteral("3307"));
        QCOMPARE(store.currentProfile().Group, true);
        QCOMPARE(store.currentProfile().Check, true);
        store.DeleteServerProfile(host);
        store.LoadProgramSettings();
        QVERIFY(store.ServerSections().isEmpty());
    }

    void handMadeSectionIsListed()
    {
        QFile file(path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nWidth=700\n\n[dbhost]\nUser=root\n\n[second host]\nPort=\n\n[bare]\n");
        file.close();
        SettingsStore store(path());
        store.LoadProgramSettings();
        QCOMPARE(store.programSettings().Width, 700);
        QStringList sections = store.ServerSections();
        sections.sort();
        // An empty section counts as a server too.
        QCOMPARE(sections, (QStringList{QStringLiteral("bare"), QStringLiteral("dbhost"), QStringLiteral("second host")}));

        // A save keeps the empty section a server; deleting it removes it.
        store.currentProfile().User = QStringLiteral("n");
        store.SaveServerProfile(QStringLiteral("new"));
        store.LoadProgramSettings();
        sections = store.ServerSections();
        sections.sort();
        QCOMPARE(sections, (QStringList{QStringLiteral("bare"), QStringLiteral("dbhost"), QStringLiteral("new"),
                                        QStringLiteral("second host")}));
        store.DeleteServerProfile(QStringLiteral("bare"));
        store.LoadProgramSettings();
        QVERIFY(!store.ServerSections().contains(QStringLiteral("bare")));
        QCOMPARE(store.ServerSections().size(), 3);
    }

    void saveOverwritesAndKeepsOthers()
    {
        SettingsStore store(path());
        TServerProfile &profile = store.currentProfile();
        profile.User = QStringLiteral("first");
        profile.Port = QStringLiteral("3306");
        profile.Check = true;
        store.SaveServerProfile(QStringLiteral("a"));
        profile.User = QStringLiteral("other");
        store.SaveServerProfile(QStringLiteral("b"));
        profile.User = QStringLiteral("second");
        profile.Port = QString();
        profile.Check = false;
        profile.Auto = true;
        store.SaveServerProfile(QStringLiteral("a"));

        SettingsStore again(path());
        again.LoadProgramSettings();
        QStringList sections = again.ServerSections();
        sections.sort();
        QCOMPARE(sections, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        again.LoadServerProfile(QStringLiteral("a"));
        QCOMPARE(again.currentProfile().User, QStringLiteral("second"));
        QCOMPARE(again.currentProfile().Port, QString());
        QCOMPARE(again.currentProfile().Check, false);
        QCOMPARE(again.currentProfile().Auto, true);
        QCOMPARE(readRaw(QStringLiteral("a/Check")), QStringLiteral("0"));
        again.LoadServerProfile(QStringLiteral("b"));
        QCOMPARE(again.currentProfile().User, QStringLiteral("other"));
    }

    void securitySettingsRoundTripAndStayOutOfClearProfiles()
    {
        // A section from before the security keys reads as Off.
        writeRaw(QStringLiteral("old/User"), QStringLiteral("u"));
        SettingsStore store(path());
        store.LoadServerProfile(QStringLiteral("old"));
        QCOMPARE(store.currentProfile().TlsMode, QStringLiteral("Off"));
        QCOMPARE(store.currentProfile().TlsCA, QString());

        TServerProfile &profile = store.currentProfile();
        profile.TlsMode = QStringLiteral("VerifyCA");
        profile.TlsCA = QStringLiteral("/certs/ca.pem");
        profile.TlsCert = QStringLiteral("/certs/me.pem");
        profile.TlsKey = QStringLiteral("/certs/me-key.pem");
        store.SaveServerProfile(QStringLiteral("secured"));
        QCOMPARE(readRaw(QStringLiteral("secured/TLS")), QStringLiteral("VerifyCA"));
        SettingsStore again(path());
        again.LoadServerProfile(QStringLiteral("secured"));
        QCOMPARE(again.currentProfile().TlsMode, QStringLiteral("VerifyCA"));
        QCOMPARE(again.currentProfile().TlsCA, QStringLiteral("/certs/ca.pem"));
        QCOMPARE(again.currentProfile().TlsCert, QStringLiteral("/certs/me.pem"));
        QCOMPARE(again.currentProfile().TlsKey, QStringLiteral("/certs/me-key.pem"));

        // Turned off, the section goes back to the keys it always had.
        again.currentProfile().TlsMode = QStringLiteral("Off");
        again.SaveServerProfile(QStringLiteral("secured"));
        QSettings raw(path(), QSettings::IniFormat);
        raw.beginGroup(QStringLiteral("secured"));
        QStringList keys = raw.childKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{QStringLiteral("Auto"), QStringLiteral("Check"), QStringLiteral("Database"),
                                    QStringLiteral("Group"), QStringLiteral("Port"), QStringLiteral("Psw"),
                                    QStringLiteral("User")}));
    }

    void deleteRemovesOnlyThatSection()
    {
        writeRaw(QStringLiteral("keep/User"), QStringLiteral("k"));
        writeRaw(QStringLiteral("drop/User"), QStringLiteral("d"));
        writeRaw(QStringLiteral("drop/nested/User"), QStringLiteral("n"));
        writeRaw(QStringLiteral("Width"), QStringLiteral("900"));
        SettingsStore store(path());
        store.DeleteServerProfile(QStringLiteral("drop"));
        store.DeleteServerProfile(QStringLiteral("never-there")); // does nothing
        store.LoadProgramSettings();
        QCOMPARE(store.ServerSections(), QStringList{QStringLiteral("keep")});
        QCOMPARE(store.programSettings().Width, 900);
        QCOMPARE(readRaw(QStringLiteral("drop/nested/User")), QString());
    }

    void fileAndCreatedFoldersAreTheOwnersOnly()
    {
#ifndef Q_OS_UNIX
        QSKIP("permission bits are a Unix matter");
#else
        const QString nested = m_dir->filePath(QStringLiteral("config/quarnel/Quarnel2.conf"));
        ::umask(022); // the usual umask, under which files came out 0644
        {
            SettingsStore store(nested);
            store.LoadProgramSettings();
        }
        QCOMPARE(modeOf(nested), 0600);
        QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("config"))), 0700);
        QCOMPARE(modeOf(m_dir->filePath(QStringLiteral("config/quarnel"))), 0700);

        // Created by the first save rather than by reading.
        QVERIFY(QFile::remove(nested));
        {
            SettingsStore store(nested);
            store.currentProfile().Psw = QStringLiteral("secret");
            store.SaveServerProfile(QStringLiteral("db"));
        }
        QCOMPARE(modeOf(nested), 0600);

        // A store an older version left open to everyone is tightened when
        // opened, and a save keeps it so.
        QVERIFY(QFile::setPermissions(nested, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                  | QFile::ReadOther));
        QCOMPARE(modeOf(nested), 0644);
        SettingsStore store(nested);
        QCOMPARE(modeOf(nested), 0600);
        QVERIFY(QFile::setPermissions(nested, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        store.SaveProgramSettings();
        QCOMPARE(modeOf(nested), 0600);
        store.LoadServerProfile(QStringLiteral("db"));
        QCOMPARE(store.currentProfile().Psw, QStringLiteral("secret"));
#endif
    }

    void unevenFileStillTakesWholeSaves_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf[General]\nWidth=700\n\n[db]\nUser=root\n");
        QTest::newRow("byte-order mark, no section") << QByteArray("\xef\xbb\xbfWidth=700\n[db]\nUser=root\n");
        QTest::newRow("unclosed section header")
            << QByteArray("[General]\nWidth=700\n[broken\nUser=x\n[db]\nUser=root\n");
        QTest::newRow("line without a value") << QByteArray("Width=700\nthis line has no equals sign\n[db]\nUser=root\n");
        static const char zeroBytes[] = "Width=700\n[other]\nUser=x\0\0junk\n[db]\nUser=root\n";
        QTest::newRow("stray zero bytes") << QByteArray(zeroBytes, sizeof zeroBytes - 1);
    }
    void unevenFileStillTakesWholeSaves()
    {
        QFETCH(QByteArray, content);
        {
            QFile file(path());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        SettingsStore store(path());
        store.LoadProgramSettings();
        QCOMPARE(store.programSettings().Width, 700);
        QVERIFY(store.ServerSections().contains(QStringLiteral("db")));

        // A parse error is no refused write: every save goes through, whole.
        TServerProfile &profile = store.currentProfile();
        profile.User = QStringLiteral("u");
        profile.Psw = QStringLiteral("p");
        profile.Database = QStringLiteral("shop");
        profile.Port = QStringLiteral("3307");
        profile.Group = true;
        profile.Check = true;
        profile.Auto = true;
        QVERIFY_THROWS_NO_EXCEPTION(store.SaveServerProfile(QStringLiteral("fresh")));
        store.programSettings().Height = 555;
        QVERIFY_THROWS_NO_EXCEPTION(store.SaveProgramSettings());
        profile.User = QStringLiteral("v");
        QVERIFY_THROWS_NO_EXCEPTION(store.SaveServerProfile(QStringLiteral("second")));

        SettingsStore again(path());
        again.LoadProgramSettings();
        QCOMPARE(again.programSettings().Width, 700); // the readable values are kept
        QCOMPARE(again.programSettings().Height, 555);
        again.LoadServerProfile(QStringLiteral("db"));
        QCOMPARE(again.currentProfile().User, QStringLiteral("root"));
        again.LoadServerProfile(QStringLiteral("fresh"));
        QCOMPARE(again.currentProfile().User, QStringLiteral("u"));
        QCOMPARE(again.currentProfile().Psw, QStringLiteral("p"));
        QCOMPARE(again.currentProfile().Database, QStringLiteral("shop"));
        QCOMPARE(again.currentProfile().Port, QStringLiteral("3307"));
        QVERIFY(again.currentProfile().Group && again.currentProfile().Check && again.currentProfile().Auto);
        again.LoadServerProfile(QStringLiteral("second"));
        QCOMPARE(again.currentProfile().User, QStringLiteral("v"));
        // What is written now parses cleanly.
        QSettings raw(path(), QSettings::IniFormat);
        QVERIFY(!raw.allKeys().isEmpty());
        QCOMPARE(raw.status(), QSettings::NoError);
    }

    void saveReplacesTheFileInOneStep_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("server profile") << 0;
        QTest::newRow("program settings") << 1;
        QTest::newRow("delete") << 2;
    }
    void saveReplacesTheFileInOneStep()
    {
#ifndef Q_OS_LINUX
        QSKIP("watches the folder through inotify");
#else
        QFETCH(int, kind);
        {
            SettingsStore store(path());
            for (int i = 0; i < 20; ++i) {
                store.currentProfile().User = QStringLiteral("old%1").arg(i);
                store.SaveServerProfile(QStringLiteral("host%1").arg(i));
            }
        }
        SettingsStore store(path());
        store.LoadProgramSettings();
        const int fd = ::inotify_init1(IN_NONBLOCK);
        QVERIFY(fd >= 0);
        const int watch = ::inotify_add_watch(fd, QFile::encodeName(m_dir->path()).constData(),
                                              IN_MODIFY | IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE);
        QVERIFY(watch >= 0);
        if (kind == 0) {
            store.currentProfile().User = QStringLiteral("new");
            store.SaveServerProfile(QStringLiteral("host7"));
        } else if (kind == 1) {
            store.SaveProgramSettings();
        } else {
            store.DeleteServerProfile(QStringLiteral("host7"));
        }
        // The kernel queued the events while the save ran; read them now.
        QStringList onStore;
        alignas(struct inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t size = ::read(fd, buffer, sizeof buffer);
            if (size <= 0)
                break;
            for (ssize_t at = 0; at < size;) {
                const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
                if (event->len > 0 && QFile::decodeName(event->name) == QStringLiteral("Quarnel2.conf"))
                    onStore << ((event->mask & IN_MOVED_TO) ? QStringLiteral("renamed in")
                                                           : QStringLiteral("written in place"));
                at += ssize_t(sizeof(struct inotify_event)) + event->len;
            }
        }
        ::close(fd);
        // The store was never written in place, and the finished new file
        // took its name once: a kill at any moment leaves the old store or
        // the new one, never a mix.
        QCOMPARE(onStore, QStringList{QStringLiteral("renamed in")});
        SettingsStore again(path());
        again.LoadProgramSettings();
        QCOMPARE(again.ServerSections().size(), kind == 2 ? 19 : 20);
        again.LoadServerProfile(QStringLiteral("host7"));
        QCOMPARE(again.currentProfile().User, kind == 0 ? QStringLiteral("new")
                                              : kind == 1 ? QStringLiteral("old7") : QString());
        // No scratch file stays behind.
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("Quarnel2.conf")});
#endif
    }

    void refusedWriteNamesTheValue_data()
    {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::newRow("read-only file") << false;
        QTest::newRow("folder in place of the file") << true;
    }
    void refusedWriteNamesTheValue()
    {
        QFETCH(bool, folderInTheWay);
        if (folderInTheWay) {
            QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Quarnel2.conf")));
        } else {
#ifdef Q_OS_UNIX
            if (::geteuid() == 0)
                QSKIP("root may write read-only files");
#endif
            writeRaw(QStringLiteral("Top"), QStringLiteral("10"));
            QVERIFY(QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadUser));
        }
        SettingsStore store(path());
        store.LoadProgramSettings();
        store.programSettings().Width = 800;
        try {
            store.SaveProgramSettings();
            QFAIL("a refused write was not reported");
        } catch (const SettingsWriteError &error) {
            // The first value of the save is the one refused, and the rest
            // of that save is not attempted.
            QCOMPARE(error.name(), QStringLiteral("Left"));
            QVERIFY2(QString::fromStdString(error.what()).contains(QStringLiteral("\"Left\"")), error.what());
        }
        store.currentProfile().User = QStringLiteral("x");
        QVERIFY_THROWS_EXCEPTION(SettingsWriteError, store.SaveServerProfile(QStringLiteral("h")));
        if (!folderInTheWay)
            QCOMPARE(readRaw(QStringLiteral("Width")), QString());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
