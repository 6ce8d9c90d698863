#pragma once

// Answers modal windows from inside the event loop they run, for window tests.

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

// Owner of the waiting answers, so a test can drop those never used.
inline QObject *pendingAnswers()
{
    static QObject owner;
    return &owner;
}

// Drops answers still waiting; call from cleanup() so that none outlives the
// test whose variables it writes to.
inline void cancelPendingAnswers()
{
    qDeleteAll(pendingAnswers()->findChildren<QTimer *>(Qt::FindDirectChildrenOnly));
}

// Runs act on the next modal window to appear (within five seconds); act
// must close it, or it is rejected afterwards.
inline void whenModal(std::function<void(QWidget *)> act, QWidget *skip = nullptr)
{
    auto *timer = new QTimer(pendingAnswers());
    timer->setInterval(10);
    const QDeadlineTimer deadline(5000);
    QObject::connect(timer, &QTimer::timeout, [timer, act, deadline, skip] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == skip)
            modal = nullptr;
        if (!modal && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (!modal)
            return;
        QPointer<QWidget> guard(modal);
        act(modal);
        // A failed check inside act returns early: never leave the test
        // hanging on a window nobody answers.
        if (guard && guard->isVisible()) {
            if (auto *dialog = qobject_cast<QDialog *>(guard.data()))
                dialog->reject();
        }
    });
    timer->start();
}

// Clicks button in the next message box and records its text and icon; any
// other modal window is rejected so that a test cannot hang on it.
inline void answerMessageBox(QMessageBox::StandardButton button, QString *text = nullptr,
                             QMessageBox::Icon *icon = nullptr, QWidget *skip = nullptr)
{
    whenModal(
        [=](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box) {
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
                return;
            }
            if (text)
                *text = box->text();
            if (icon)
                *icon = box->icon();
            if (QAbstractButton *b = box->button(button))
                b->click();
            else if (!box->buttons().isEmpty())
                box->buttons().constFirst()->click();
        },
        skip);
}
