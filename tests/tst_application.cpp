#include "dialogs/applicationtitle.h"
#include "shell/application.h"
#include "tests/modalhelper.h"

#include <QTest>

#include <stdexcept>

// Errors that a handler does not catch reach the error box and the program
// goes on.
class TestApplication : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        cancelPendingAnswers();
    }

    void uncaughtErrorsReachTheErrorBox_data()
    {
        QTest::addColumn<QString>("thrown");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full stop added") << "Access denied for user" << "Access denied for user.";
        QTest::newRow("full stop kept") << "Table is locked." << "Table is locked.";
    }
    void uncaughtErrorsReachTheErrorBox()
    {
        QFETCH(QString, thrown);
        QFETCH(QString, shown);
        SetApplicationTitle(QStringLiteral("Quarnel-Share"));
        // A handler run from the event loop. (Qt is not written for errors
        // passing through it: unwinding through mouse delivery or
        // QAction::activate leaks a few bytes of their guards, which a leak
        // checker reports; a bare timer leaks nothing.)
        int runs = 0;
        auto handler = [&] {
            ++runs;
            throw std::runtime_error(thrown.toStdString());
        };
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString caption;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            text = box->text();
            icon = box->icon();
            caption = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        QTimer::singleShot(0, this, handler);
        QTRY_COMPARE(text, shown);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(caption, QStringLiteral("Quarnel-Share"));
        // The program goes on: the command runs again.
        bool answered = false;
        whenModal([&](QWidget *modal) {
            answered = true;
            qobject_cast<QDialog *>(modal)->accept();
        });
        QTimer::singleShot(0, this, handler);
        QTRY_VERIFY(answered);
        QCOMPARE(runs, 2);
    }
};

int main(int argc, char **argv)
{
    QuarnelApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_application.moc"
