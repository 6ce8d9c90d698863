#include "data/editorsession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The folder the editor's tabs are kept in, without a window.
class TestEditorSession : public QObject
{
    Q_OBJECT

private:
    static EditorSessionTab tab(const QString &id, const QString &file, bool modified, bool hasText)
    {
        EditorSessionTab t;
        t.id = id;
        t.fileName = file;
        t.modified = modified;
        t.hasText = hasText;
        return t;
    }
    static bool write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

private Q_SLOTS:
    void roundTrip()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("deep/editor"));
        EditorSessionStore store(folder);
        const QString draft = store.newId();
        const QString file = store.newId();
        QVERIFY(draft != file);
        // Every character comes back, a zero character too.
        const QString text = QString::fromUtf8("select 'x\xe2\x82\xac';\r\n") + QChar(0) + QStringLiteral("end");
        QVERIFY(store.writeText(draft, text));
        EditorSessionTab second = tab(file, QStringLiteral("/tmp/b.sql"), false, false);
        second.encoding = QStringLiteral("utf16le");
        second.byteOrderMark = true;
        second.caretLine = 4;
        second.caretIndex = 2;
        QVERIFY(store.writeIndex({tab(draft, QString(), true, true), second}, 1));

        int current = -1;
        const QList<EditorSessionTab> tabs = EditorSessionStore(folder).load(&current);
        QCOMPARE(tabs.size(), 2);
        QCOMPARE(current, 1);
        QCOMPARE(tabs.at(0).id, draft);
        QCOMPARE(tabs.at(0).text, text);
        QVERIFY(tabs.at(0).hasText && tabs.at(0).modified);
        QCOMPARE(tabs.at(1).fileName, QStringLiteral("/tmp/b.sql"));
        QVERIFY(!tabs.at(1).hasText && !tabs.at(1).modified);
        QCOMPARE(tabs.at(1).encoding, QStringLiteral("utf16le"));
        QVERIFY(tabs.at(1).byteOrderMark);
        QCOMPARE(tabs.at(1).caretLine, 4);
        QCOMPARE(tabs.at(1).caretIndex, 2);

        // Owner only: the folder and every file in it.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(folder) & others, QFileDevice::Permissions());
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            QVERIFY2((QFile::permissions(folder + QLatin1Char('/') + name) & others) == 0, qPrintable(name));
    }

    void damagedFolders_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::addColumn<QStringList>("texts"); // id=text files present
        QTest::addColumn<QStringList>("expected"); // id:hasText:text of the loaded tabs
        QTest::addColumn<int>("current");

        QTest::newRow("no index") << QByteArray() << QStringList() << QStringList() << -1;
        QTest::newRow("garbled index") << QByteArray("{\"tabs\": [") << QStringList() << QStringList() << -1;
        // The entry promises a text that was never written: the tab stays.
        QTest::newRow("text missing")
            << QByteArray(R"({"current": 0, "tabs": [{"id": "a1", "text": true}]})") << QStringList()
            << QStringList{"a1:0:"} << 0;
        // Ids become file names: one that leaves the folder is not taken.
        QTest::newRow("id with a path")
            << QByteArray(R"({"current": 0, "tabs": [{"id": "../x", "text": true}, {"id": "b2", "text": true}]})")
            << QStringList{"b2=two"} << QStringList{"b2:1:two"} << 0;
        QTest::newRow("same id twice")
            << QByteArray(R"({"current": 5, "tabs": [{"id": "c3", "text": true}, {"id": "c3", "text": true}]})")
            << QStringList{"c3=three"} << QStringList{"c3:1:three"} << 0;
        // A text written before its entry (the end came in between) is not lost.
        QTest::newRow("text without entry")
            << QByteArray(R"({"current": 0, "tabs": [{"id": "d4", "text": true}]})")
            << QStringList{"d4=four", "e5=five"} << QStringList{"d4:1:four", "e5:1:five"} << 0;
        QTest::newRow("texts without index") << QByteArray() << QStringList{"f6=six"} << QStringList{"f6:1:six"} << 0;
    }
    void damagedFolders()
    {
        QFETCH(QByteArray, index);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        QFETCH(int, current);
        QTemporaryDir dir;
        if (!index.isEmpty())
            QVERIFY(write(dir.filePath(QStringLiteral("tabs.json")), index));
        for (const QString &entry : texts) {
            const QStringList parts = entry.split(QLatin1Char('='));
            QVERIFY(write(dir.filePath(parts.at(0) + QStringLiteral(".sql")), parts.at(1).toUtf8()));
        }
        int loadedCurrent = -2;
        const QList<EditorSessionTab> tabs = EditorSessionStore(dir.path()).load(&loadedCurrent);
        QStringList loaded;
        for (const EditorSessionTab &t : tabs)
            loaded << t.id + QLatin1Char(':') + QString::number(int(t.hasText)) + QLatin1Char(':') + t.text;
        QCOMPARE(loaded, expected);
        QCOMPARE(loadedCurrent, current);
    }

    void withoutFolderNothingIsKept()
    {
        EditorSessionStore store;
        QVERIFY(!store.isEnabled());
        QVERIFY(!store.writeText(store.newId(), QStringLiteral("x")));
        QVERIFY(!store.writeIndex({}, 0));
        int current = 0;
        QVERIFY(store.load(&current).isEmpty());
        QCOMPARE(current, -1);
        // An id that is not one of ours names no file.
        QTemporaryDir dir;
        EditorSessionStore kept(dir.path());
        QVERIFY(!kept.writeText(QStringLiteral("../escape"), QStringLiteral("x")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("../escape.sql"))));
    }
};

QTEST_GUILESS_MAIN(TestEditorSession)
#include "tst_editorsession.moc"
