// SPDX-License-Identifier: MIT
#include "fakes.h"
#include "module1.h"

#include <QDir>
#include <QFile>

using namespace trackfold;
using namespace trackfold::test;

class TestModule1 : public QObject
{
    Q_OBJECT

private slots:
    void fileExistsOnlyForFiles();
    void fileNameOf_data();
    void fileNameOf();
    void documentsFolderFollowsTheUserDirs();
    void fileDialogTranslatesItsRequest();
};

void TestModule1::fileExistsOnlyForFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("a.mid"));
    QVERIFY(writeBytes(file, "x"));
    QVERIFY(FileExists(file));
    QVERIFY(!FileExists(dir.path()));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(dir.filePath(QStringLiteral("missing.mid"))));
    QVERIFY(!FileExists(file + QStringLiteral("/below")));
}

void TestModule1::fileNameOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("backslashes") << "C:\\a\\b.mid"
                                 << "b.mid";
    QTest::newRow("root backslash") << "\\b.mid"
                                    << "b.mid";
    QTest::newRow("no separator") << "b.mid"
                                  << "b.mid";
    QTest::newRow("ends in backslash") << "C:\\a\\"
                                       << "";
    QTest::newRow("slashes") << "/home/u/Musica/song_.mid"
                             << "song_.mid";
    QTest::newRow("ends in slash") << "/home/u/"
                                   << "";
    QTest::newRow("mixed, last wins") << "/a\\b/c\\d.mid"
                                      << "d.mid";
    QTest::newRow("empty") << ""
                           << "";
}

void TestModule1::fileNameOf()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(FileNameOf(path), name);
}

void TestModule1::documentsFolderFollowsTheUserDirs()
{
    TemporaryHome home;
    QVERIFY(home.isValid());
    DocumentsFolder();
    QCOMPARE(DirDocumenti, home.documents());

    // A localised desktop names the folder in user-dirs.dirs.
    QVERIFY(writeBytes(
        home.path() + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documenti/\"\n"));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("Documenti")));
    DocumentsFolder();
    QCOMPARE(DirDocumenti, home.path() + QStringLiteral("/Documenti"));
}

void TestModule1::fileDialogTranslatesItsRequest()
{
    FakeDialogs dialogs;
    dialogs.answers << QStringLiteral("/m/a.mid") << QString();
    const QString filter = QStringLiteral("Midifile") + QChar(0) + "*.mid" + QChar(0)
        + "Tutti i file" + QChar(0) + "*.*";

    QCOMPARE(FileDialog(dialogs, nullptr, 1, "Open", "/m/x.mid", filter, "/m", "mid"),
        QStringLiteral("/m/a.mid"));
    QCOMPARE(FileDialog(dialogs, nullptr, 2, "Salva", "", filter, "", ""), QString());

    QCOMPARE(dialogs.requests.size(), 2);
    const FileRequest &open = dialogs.requests[0];
    QVERIFY(!open.save);
    QCOMPARE(open.title, QStringLiteral("Open"));
    QCOMPARE(open.initialFile, QStringLiteral("/m/x.mid"));
    QCOMPARE(open.filter, QStringLiteral("Midifile (*.mid);;Tutti i file (*.*)"));
    QCOMPARE(open.initialFolder, QStringLiteral("/m"));
    QCOMPARE(open.defaultSuffix, QStringLiteral("mid"));
    QVERIFY(dialogs.requests[1].save);
}

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
