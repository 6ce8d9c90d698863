#include "shell/application.h"
#include "tests/modalhelper.h"

#include <QPushButton>
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
        QApplication::setApplicationDisplayName(QStringLiteral("Quarnel-Share"));
        QPushButton button(QStringLiteral("Run"));
        int runs = 0;
        connect(&button, &QPushButton::clicked, this, [&] {
            ++runs;
            throw std::runtime_error(thrown.toStdString());
        });
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
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
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(text, shown);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(caption, QStringLiteral("Quarnel-Share"));
        // The program goes on: the next click runs the handler again.
        whenModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->accept(); });
        QTest::mouseClick(&button, Qt::LeftButton);
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
