#include "client/mysqlbinding.h"
#include "dialogs/applicationtitle.h"
#include "shell/exportcontroller.h"
#include "shell/mainwindow.h"
#include "dialogs/splash.h"
#include "shell/startup.h"
#include "dialogs/logindialog.h"
#include "tests/modalhelper.h"
#include "tests/support/privateserver.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        cancelPendingAnswers();
    }

    void versionText()
    {
        QVERIFY(QRegularExpression(QStringLiteral("^Version : \\d+\\.\\d+\\.\\d+\\.\\d+$"))
                    .match(VersionText())
                    .hasMatch());
        TFormLogo logo;
        QCOMPARE(logo.size(), QSize(400, 195));
        logo.show();
        QCOMPARE(logo.LabelVersion->text(), VersionText());
    }

    void missingClientLibraryEndsTheProgram()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("Quarnel2.conf"));
        qputenv("QUARNEL_CLIENT_LIBRARY", "/nonexistent/libmySQL.so");
        ClientLibraryName = QStringLiteral("/nonexistent/libmySQL.so");
        QString text;
        QMessageBox::Icon icon = QMessageBox::Critical;
        answerMessageBox(QMessageBox::Ok, &text, &icon);
        QCOMPARE(RunQuarnel(*qApp, settings), 1);
        QCOMPARE(text, QStringLiteral("Failed to Initialize mySQL Library (/nonexistent/libmySQL.so)"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(ApplicationTitle(), QStringLiteral("Quarnel-Share"));
        // Qt's display name stays unset: Qt would append it to every window
        // title ("Quarnel ( MySQL Administrator ) - Quarnel-Share").
        QCOMPARE(QApplication::applicationDisplayName(), QApplication::applicationName());
        // Ending that way writes nothing.
        QVERIFY(!QFile::exists(settings));
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(), [](QWidget *w) { return w->isVisible(); }));
        qunsetenv("QUARNEL_CLIENT_LIBRARY");
    }

    void startShowsTheMainWindowAndEndsOnConfirmedClose()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("Quarnel2.conf"));
        {
            QSettings raw(settings, QSettings::IniFormat);
            raw.setValue(QStringLiteral("Width"), QStringLiteral("800"));
            raw.setValue(QStringLiteral("db1/User"), QStringLiteral("u"));
        }
        ClientLibraryName = DefaultClientLibraryName();
        TFormMain *seen = nullptr;
        bool splashGone = false;
        bool libraryBound = false;
        bool exportWired = false;
        QString asked;
        // Once the window is up: look at it, then close it with Yes.
        auto *poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [&, poll] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget *widget : windows) {
                auto *window = qobject_cast<TFormMain *>(widget);
                if (!window || !window->isVisible())
                    continue;
                poll->stop();
                seen = window;
                splashGone = std::none_of(windows.cbegin(), windows.cend(),
                                          [](QWidget *w) { return qobject_cast<TFormLogo *>(w) != nullptr; });
                libraryBound = ClientLibraryBound();
                QCOMPARE(window->width(), 800);
                QCOMPARE(window->serverList()->count(), 1);
                exportWired = window->findChild<ExportController *>() != nullptr;
                window->resize(820, 610);
                answerMessageBox(QMessageBox::Yes, &asked);
                window->close();
                return;
            }
        });
        poll->start();
        QCOMPARE(RunQuarnel(*qApp, settings), 0);
        delete poll;
        QVERIFY(seen);
        QVERIFY(splashGone);
        QVERIFY(libraryBound);
        QVERIFY(exportWired); // the save commands have their handlers from the start
        QVERIFY(!ClientLibraryBound());
        QCOMPARE(asked, QStringLiteral("Application close ?"));
        QSettings raw(settings, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Width")).toString(), QStringLiteral("820"));
        QCOMPARE(raw.value(QStringLiteral("Height")).toString(), QStringLiteral("610"));
    }

    // The started program with its data module: a double click on the
    // server logs in, the session switch opens the window, and with the
    // profile's check an "appserver" database enables the Tarquel commands.
    void loginFromTheServerList()
    {
        PrivateServer &server = PrivateServer::shared();
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(server.sql(QStringLiteral("CREATE DATABASE IF NOT EXISTS appserver;")));
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("Quarnel2.conf"));
        {
            QSettings raw(settings, QSettings::IniFormat);
            raw.beginGroup(server.host());
            raw.setValue(QStringLiteral("User"), PrivateServer::user());
            raw.setValue(QStringLiteral("Psw"), PrivateServer::password());
            raw.setValue(QStringLiteral("Port"), QString::number(server.port()));
            raw.setValue(QStringLiteral("Database"), QStringLiteral("mysql"));
            raw.setValue(QStringLiteral("Check"), QStringLiteral("1"));
        }
        ClientLibraryName = DefaultClientLibraryName();
        TFormMain *window = nullptr;
        bool loginAsked = false;
        bool connected = false;
        QStringList databases;
        bool appServerOn = false;
        QDeadlineTimer deadline(60000);
        auto *poll = new QTimer(this);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [&] {
            if (!window) {
                const QWidgetList windows = QApplication::topLevelWidgets();
                for (QWidget *widget : windows) {
                    if (auto *main = qobject_cast<TFormMain *>(widget); main && main->isVisible())
                        window = main;
                }
                if (!window)
                    return;
                whenModal([&](QWidget *modal) {
                    if (auto *login = qobject_cast<TFormLogin *>(modal)) {
                        loginAsked = true;
                        login->ButtonLogin->click();
                    }
                });
                QListWidget *list = window->serverList();
                Q_EMIT list->itemDoubleClicked(list->item(0));
                return;
            }
            connected = window->action(QStringLiteral("EditExec"))->isEnabled();
            if (!(connected && window->treeModel()->rowCount() > 0) && !deadline.hasExpired())
                return;
            poll->stop();
            for (int row = 0; row < window->treeModel()->rowCount(); ++row)
                databases << window->treeModel()->item(row)->text();
            appServerOn = window->action(QStringLiteral("App_add"))->isEnabled();
            answerMessageBox(QMessageBox::Yes);
            window->close();
        });
        poll->start();
        QCOMPARE(RunQuarnel(*qApp, settings), 0);
        delete poll;
        QVERIFY(loginAsked);
        QVERIFY(connected);
        QVERIFY2(databases.contains(QStringLiteral("appserver")), qPrintable(databases.join(QLatin1Char(','))));
        QVERIFY(appServerOn);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
