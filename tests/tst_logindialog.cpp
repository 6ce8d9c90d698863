#include "dialogs/logindialog.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The login dialog: its texts, fields and the three ways to leave it.
class TestLoginDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void layoutAndTexts();
    void outcomes_data();
    void outcomes();
};

void TestLoginDialog::layoutAndTexts()
{
    TFormLogin dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Login"));
    QStringList labels;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        labels.append(label->text());
    QCOMPARE(labels, (QStringList{"Enter password and username for MySQL Server.",
                                  "For full functionality Quarnel, you mast have",
                                  "an administrator acount on this database.", "Server:", "User:", "Password:"}));
    QCOMPARE(dialog.ButtonCancel->text(), QStringLiteral("&Cancel"));
    QCOMPARE(dialog.ButtonLogin->text(), QStringLiteral("&Login"));
    QVERIFY(dialog.EditServer->isReadOnly());
    QCOMPARE(dialog.EditPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.EditServer->accessibleName(), QStringLiteral("Server:"));
    QCOMPARE(dialog.EditUser->accessibleName(), QStringLiteral("User:"));
    QCOMPARE(dialog.EditPassword->accessibleName(), QStringLiteral("Password:"));

    // The password shows one "*" per character.
    dialog.setPassword(QStringLiteral("secret"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.EditPassword->displayText(), QStringLiteral("******"));
    // Fixed border: the layout decides the size.
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
}

void TestLoginDialog::outcomes_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("outcome");
    QTest::newRow("login button") << "login" << int(TFormLogin::Login);
    QTest::newRow("enter in user") << "enter user" << int(TFormLogin::Login);
    QTest::newRow("enter in password") << "enter password" << int(TFormLogin::Login);
    QTest::newRow("cancel button") << "cancel" << int(TFormLogin::Cancel);
    QTest::newRow("escape") << "escape" << int(TFormLogin::Closed);
}

void TestLoginDialog::outcomes()
{
    QFETCH(QString, action);
    QFETCH(int, outcome);
    TFormLogin dialog;
    dialog.setServer(QStringLiteral("db.example"));
    dialog.setUser(QStringLiteral("admin"));
    dialog.setPassword(QStringLiteral("pw"));
    QWidget *focused = nullptr;
    QString userText;
    QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        focused = QApplication::focusWidget();
        if (action == QLatin1String("login")) {
            QTest::mouseClick(dialog.ButtonLogin, Qt::LeftButton);
        } else if (action == QLatin1String("enter user")) {
            QTest::keyClick(dialog.EditUser, Qt::Key_End);
            QTest::keyClicks(dialog.EditUser, QStringLiteral("x"));
            QTest::keyClick(dialog.EditUser, Qt::Key_Return);
        } else if (action == QLatin1String("enter password")) {
            QTest::keyClick(dialog.EditPassword, Qt::Key_Enter);
        } else if (action == QLatin1String("cancel")) {
            QTest::mouseClick(dialog.ButtonCancel, Qt::LeftButton);
        } else {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        }
        // A fallback so a wrong key binding fails instead of hanging.
        if (dialog.isVisible())
            dialog.done(99);
    });
    QCOMPARE(int(dialog.ask()), outcome);
    QCOMPARE(focused, static_cast<QWidget *>(dialog.EditUser));
    QCOMPARE(dialog.EditServer->text(), QStringLiteral("db.example"));
    QCOMPARE(dialog.user(), action == QLatin1String("enter user") ? QStringLiteral("adminx") : QStringLiteral("admin"));
    QCOMPARE(dialog.password(), QStringLiteral("pw"));
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
