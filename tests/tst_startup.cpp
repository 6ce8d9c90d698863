#include "client/mysqlbinding.h"
#include "shell/mainwindow.h"
#include "shell/splash.h"
#include "shell/startup.h"
#include "tests/modalhelper.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

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
        QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Quarnel-Share"));
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
        QVERIFY(!ClientLibraryBound());
        QCOMPARE(asked, QStringLiteral("Application close ?"));
        QSettings raw(settings, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Width")).toString(), QStringLiteral("820"));
        QCOMPARE(raw.value(QStringLiteral("Height")).toString(), QStringLiteral("610"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
