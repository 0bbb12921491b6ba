// SPDX-License-Identifier: MIT
#include "fakes.h"
#include "paramstr.h"
#include "smfbuilder.h"
#include "translation.h"

#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>

#include <set>

using namespace trackfold;
using namespace trackfold::test;
namespace smf = trackfold::smf;

namespace {

// CTest runs this test under several environments and names the language the
// window must then speak: "en", or "it" for the Italian source texts.
bool englishExpected()
{
    return qgetenv("TRACKFOLD_EXPECTED_LANGUAGE") == "en";
}

// A line a program prints on standard output, under this environment.
QString lineOf(const QString &program, int line)
{
    QProcess process;
    process.start(program, { QStringLiteral("--help") });
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput())
        .section(QLatin1Char('\n'), line, line);
}

} // namespace

class TestTranslation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlsAndAccessKeys();
    void conversionAndMessages();
    void commandLinesAgree();

private:
    // Italian or English, as the environment asks.
    static QString pick(const char *italian, const char *english)
    {
        return QString::fromUtf8(englishExpected() ? english : italian);
    }

    TemporaryHome m_home;
    FakeDialogs m_dialogs;
    FakeClock m_clock;
};

void TestTranslation::initTestCase()
{
    QVERIFY(m_home.isValid());
    QCOMPARE(installTranslation(*QCoreApplication::instance()), englishExpected());
}

void TestTranslation::controlsAndAccessKeys()
{
    ParamStr window(m_dialogs, m_clock);
    QCOMPARE(window.lblIN->text(), pick("Nome Midifile", "MIDI file name"));
    QCOMPARE(window.Label1->text(), pick("Nuovo Nome", "New name"));
    QCOMPARE(window.cmdSFOGLIA->text(), pick("&Cerca", "&Browse"));
    QCOMPARE(window.cmdESCI->text(), pick("&Esci", "E&xit"));
    QCOMPARE(window.cmdCONVERTI->text(), pick("&Converti e salva", "&Convert and save"));
    if (!englishExpected())
        return; // the Italian buttons share Alt+C on purpose
    std::set<QString> keys;
    for (const QPushButton *button : window.findChildren<QPushButton *>()) {
        const QString key = QKeySequence::mnemonic(button->text()).toString();
        QVERIFY2(!key.isEmpty(), qPrintable(button->text()));
        QVERIFY2(keys.insert(key).second, qPrintable(key + QLatin1String(" twice")));
    }
}

void TestTranslation::conversionAndMessages()
{
    smf::Track piano;
    piano.event(0, { 0x90, 0x3C, 0x40 }).event(480, { 0x80, 0x3C, 0x40 }).endOfTrack();
    const QString input = m_home.trackfold() + QLatin1String("/Midi_F1.mid");
    QVERIFY(writeBytes(input, smf::file(1, { piano })));
    ParamStr window(m_dialogs, m_clock);
    QVERIFY(test::clickConvert(window));
    QVERIFY2(window.lblStato->text().startsWith(pick(
                 "Righe: 3      Tempo di elab.: 00:00", "Rows: 3      Processing time: 00:00")),
        qPrintable(window.lblStato->text()));
    QAbstractItemModel *model = window.GRID->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), pick("DT assoluto", "Absolute DT"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), pick("Dati Midi", "MIDI data"));
    QCOMPARE(model->index(1, 2).data(Qt::ToolTipRole).toString(),
        pick("Note On, canale 1, nota 60 (C4), velocità 64, traccia 1",
            "Note On, channel 1, note 60 (C4), velocity 64, track 1"));
    QVERIFY(m_dialogs.takeMessages().isEmpty());

    // The file stays in the grid's language-free form: the same bytes as ever.
    QVERIFY(
        readBytes(m_home.trackfold() + QLatin1String("/Midi_F1_.mid")).find("Titolo del Brano Midi")
        != std::string::npos);

    window.txIN->setText(m_home.path() + QLatin1String("/missing.mid"));
    QVERIFY(test::clickConvert(window));
    const QList<FakeDialogs::Shown> shown = m_dialogs.takeMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, pick("Midifile inesistente", "MIDI file not found"));
    QCOMPARE(shown.first().text, pick("Il midifile non esiste", "The MIDI file does not exist"));
}

void TestTranslation::commandLinesAgree()
{
    QCOMPARE(lineOf(QStringLiteral(TRACKFOLD_CLI), 0),
        pick("Uso: trackfold-cli [opzioni] INPUT...", "Usage: trackfold-cli [options] INPUT..."));
    // The usage line above the description is Qt's own.
    QCOMPARE(lineOf(QStringLiteral(TRACKFOLD_WINDOW), 1),
        pick("Converte un midifile multitraccia (formato 1) in un midifile a traccia singola "
             "(formato 0).",
            "Converts a multi-track MIDI file (format 1) into a single-track MIDI file (format "
            "0)."));
}

QTEST_MAIN(TestTranslation)
#include "tst_translation.moc"
