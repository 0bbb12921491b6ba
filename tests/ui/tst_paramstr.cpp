// SPDX-License-Identifier: MIT
#include "eventgrid.h"
#include "eventtablemodel.h"
#include "fakes.h"
#include "fileio.h"
#include "paramstr.h"
#include "pianorollview.h"
#include "smfbuilder.h"
#include "texts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <functional>

#include <unistd.h>

using namespace trackfold;
using namespace trackfold::test;
namespace smf = trackfold::smf;

namespace {

const QString Crlf = QStringLiteral("\r\n");

// Two tracks: a tempo in the first, a note in the second.
std::string twoTrackSong()
{
    smf::Track conductor;
    conductor.meta(0, 0x03, "Conductor")
        .meta(0, 0x51, smf::bytes({ 0x07, 0xA1, 0x20 }))
        .endOfTrack(960);
    smf::Track piano;
    piano.meta(0, 0x03, "Piano")
        .event(0, { 0x90, 0x3C, 0x40 })
        .event(480, { 0x80, 0x3C, 0x40 })
        .endOfTrack();
    return smf::file(1, { conductor, piano });
}

// What twoTrackSong() becomes: names dropped, the fixed title first, the tempo
// of the first track before the note of the second at tick 0, and End of Track
// where the conductor track ends.
std::string twoTrackSongConverted()
{
    smf::Track merged;
    merged.meta(0, 0x03, texts::Title)
        .meta(0, 0x51, smf::bytes({ 0x07, 0xA1, 0x20 }))
        .event(0, { 0x90, 0x3C, 0x40 })
        .event(480, { 0x80, 0x3C, 0x40 })
        .endOfTrack(480);
    return smf::file(0, { merged });
}

// A track whose second event starts with 0xF7, which no reader accepts.
std::string brokenSong()
{
    smf::Track track;
    track.event(0, { 0x90, 0x3C, 0x40 }).event(0, { 0xF7, 0x01, 0x02 }).endOfTrack();
    return smf::file(1, { track });
}

// Records what the user could see at each phase caption.
class ObservedWindow : public ParamStr
{
public:
    using ParamStr::ParamStr;

    struct Phase
    {
        QString caption;
        bool busyCursor;
    };
    QList<Phase> phases;
    // At this caption the test acts as the user would while the conversion runs.
    QString actAt;
    std::function<void()> act;
    WriteFaults faults;
    bool dropLastEvent = false; // a writer that loses the last event but says it succeeded

    void showStatus(const std::string &caption) override
    {
        ParamStr::showStatus(caption);
        phases.append({ lblStato->text(), QApplication::overrideCursor() != nullptr });
        if (act && lblStato->text() == actAt)
            act();
    }

protected:
    WriteFaults writeFaults() const override
    {
        WriteFaults use = faults;
        if (dropLastEvent) {
            use.beforeRename = [](const std::string &temporary) {
                const QString path = QFile::decodeName(temporary.c_str());
                std::string bytes = readBytes(path);
                bytes = bytes.substr(0, bytes.size() - 10) + bytes.substr(bytes.size() - 5);
                writeBytes(path, bytes);
            };
        }
        return use;
    }
};

// Counts the paints of a widget and the text it showed each time.
class PaintLog : public QObject
{
public:
    QStringList painted;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted << static_cast<QLabel *>(watched)->text();
        return false;
    }
};

QString cell(const ParamStr &window, int row, int column)
{
    return window.model()->index(row, column).data().toString();
}

QStringList folderEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestParamStr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithDefaultsAndNoInput();
    void startsWithSizeOfDefaultInput();
    void controlsKeepTheirNamesTextsAndLook();
    void tabGoesThroughTheControlsInOrder();
    void browseCancelledChangesNothing();
    void browseToExistingFileProposesOutput();
    void browseToMissingFileOnlySetsInput();
    void convertWithMissingInput();
    void convertWritesFileFillsGridAndReports();
    void convertAfterBrowseShowsHeadingsAsRow();
    void failedConversionWarnsThenReportsAndWritesNothing();
    void outputMayBeTheInput();
    void longerExistingOutputIsReplacedWhole();
    void unreadableInputIsReported();
    void unwritableOutputFolderKeepsExistingFile();
    void failedWriteKeepsExistingFile();
    void writtenFileIsVerified();
    void dropChoosesTheFile();
    void exitEndsTheProgram();
    void cancelAndCloseStopALongConversion();

private:
    QString path(const QString &name) const
    {
        return m_home->trackfold() + QLatin1Char('/') + name;
    }

    std::unique_ptr<TemporaryHome> m_home;
    FakeDialogs m_dialogs;
    FakeClock m_clock;
};

void TestParamStr::initTestCase()
{
    m_home = std::make_unique<TemporaryHome>();
    QVERIFY(m_home->isValid());
}

void TestParamStr::init()
{
    QDir folder(m_home->trackfold());
    QVERIFY(folder.removeRecursively());
    QVERIFY(QDir().mkpath(m_home->trackfold()));
    m_dialogs = FakeDialogs();
    m_clock = FakeClock();
}

void TestParamStr::cleanup()
{
    QVERIFY2(m_dialogs.messages.isEmpty(),
        qPrintable(QStringLiteral("unchecked message: ") + m_dialogs.messages.value(0).text));
    QVERIFY2(m_dialogs.answers.isEmpty(), "a scripted file answer was not used");
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QFile::setPermissions(m_home->trackfold(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestParamStr::startsWithDefaultsAndNoInput()
{
    ParamStr window(m_dialogs, m_clock);
    QCOMPARE(window.txIN->text(), m_home->documents() + "/Trackfold/Midi_F1.mid");
    QCOMPARE(window.txOUT->text(), m_home->documents() + "/Trackfold/Midi_F1_.mid");
    QCOMPARE(window.lblStato->text(), QString());
    // The grid starts with its fixed heading row and one empty row.
    QVERIFY(window.model()->headingShown());
    QCOMPARE(window.model()->rowCount(), 1);
    QVERIFY(m_dialogs.requests.isEmpty());
}

void TestParamStr::startsWithSizeOfDefaultInput()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), std::string(10234, 'x')));
    ParamStr window(m_dialogs, m_clock);
    QCOMPARE(window.lblStato->text(), QStringLiteral("Midi_F1.mid:  10234 bytes"));
}

void TestParamStr::controlsKeepTheirNamesTextsAndLook()
{
    ParamStr window(m_dialogs, m_clock);
    QCOMPARE(window.windowTitle(), QStringLiteral("Trackfold"));
    // Centred across; a screen too low for the window keeps its top edge on screen.
    const QRect screen = window.screen()->availableGeometry();
    QVERIFY(qAbs(window.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(window.geometry().top() >= screen.top());
    if (window.height() <= screen.height())
        QVERIFY(qAbs(window.geometry().center().y() - screen.center().y()) <= 1);
    const QList<std::pair<QWidget *, const char *>> named = {
        { window.lblIN, "lblIN" },
        { window.txIN, "txIN" },
        { window.cmdSFOGLIA, "cmdSFOGLIA" },
        { window.cmdESCI, "cmdESCI" },
        { window.Label1, "Label1" },
        { window.txOUT, "txOUT" },
        { window.cmdCONVERTI, "cmdCONVERTI" },
        { window.GRID, "GRID" },
        { window.lblStato, "lblStato" },
    };
    for (const auto &[widget, name] : named)
        QCOMPARE(window.findChild<QWidget *>(QLatin1String(name)), widget);

    QCOMPARE(window.lblIN->text(), QStringLiteral("Nome Midifile"));
    QCOMPARE(window.Label1->text(), QStringLiteral("Nuovo Nome"));
    QCOMPARE(window.cmdSFOGLIA->text(), QStringLiteral("&Cerca"));
    QCOMPARE(window.cmdESCI->text(), QStringLiteral("&Esci"));
    QCOMPARE(window.cmdCONVERTI->text(), QStringLiteral("&Converti e salva"));

    // The view stays cheap for huge tables: fixed row heights, no per-row header.
    QCOMPARE(window.GRID->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    QVERIFY(window.GRID->verticalHeader()->isHidden());
    QCOMPARE(window.GRID->editTriggers(), QAbstractItemView::NoEditTriggers);
}

void TestParamStr::tabGoesThroughTheControlsInOrder()
{
    ParamStr window(m_dialogs, m_clock);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), window.GRID);

    const QList<QWidget *> order
        = { window.cmdCONVERTI, window.txIN, window.txOUT, window.cmdSFOGLIA, window.cmdESCI,
              window.pianoRoll, window.cboFORMATO, window.chkTITOLO, window.GRID };
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected);
    }

    // Alt+C belongs to two buttons: it moves the focus between them, clicking
    // neither (a click would open the unscripted file dialog).
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    QWidget *first = QApplication::focusWidget();
    QVERIFY(first == window.cmdSFOGLIA || first == window.cmdCONVERTI);
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    QVERIFY(QApplication::focusWidget() != first);
    QVERIFY(QApplication::focusWidget() == window.cmdSFOGLIA
        || QApplication::focusWidget() == window.cmdCONVERTI);
    QVERIFY(m_dialogs.requests.isEmpty());
}

void TestParamStr::browseCancelledChangesNothing()
{
    ParamStr window(m_dialogs, m_clock);
    window.txIN->setText(QStringLiteral("/some/where/a.mid"));
    window.txOUT->setText(QStringLiteral("/else/where/b.mid"));
    window.lblStato->setText(QStringLiteral("prima"));
    m_dialogs.answers << QString();

    QTest::mouseClick(window.cmdSFOGLIA, Qt::LeftButton);

    QCOMPARE(window.txIN->text(), QStringLiteral("/some/where/a.mid"));
    QCOMPARE(window.txOUT->text(), QStringLiteral("/else/where/b.mid"));
    QCOMPARE(window.lblStato->text(), QStringLiteral("prima"));
    QVERIFY(window.model()->headingShown());

    QCOMPARE(m_dialogs.requests.size(), 1);
    const FileRequest &request = m_dialogs.requests.first();
    QVERIFY(!request.save);
    QCOMPARE(request.title, QStringLiteral("Open"));
    QCOMPARE(request.initialFile, QStringLiteral("/some/where/a.mid"));
    QCOMPARE(request.filter, QStringLiteral("Midifile (*.mid);;Tutti i file (*.*)"));
    QCOMPARE(request.defaultSuffix, QStringLiteral("mid"));
}

void TestParamStr::browseToExistingFileProposesOutput()
{
    QVERIFY(writeBytes(path("song.mid"), std::string(12345, 'x')));
    ParamStr window(m_dialogs, m_clock);
    m_dialogs.answers << path("song.mid");

    QTest::mouseClick(window.cmdSFOGLIA, Qt::LeftButton);

    QCOMPARE(window.txIN->text(), path("song.mid"));
    QCOMPARE(window.txOUT->text(), path("song_.mid"));
    QCOMPARE(window.lblStato->text(), QStringLiteral("12345 bytes"));
    // One empty row, no longer fixed: the header is gone.
    QVERIFY(!window.model()->headingShown());
    QVERIFY(window.GRID->horizontalHeader()->isHidden());
    QCOMPARE(window.model()->rowCount(), 1);
    QCOMPARE(cell(window, 0, 2), QString());
}

void TestParamStr::browseToMissingFileOnlySetsInput()
{
    ParamStr window(m_dialogs, m_clock);
    const QString before = window.txOUT->text();
    m_dialogs.answers << path("absent.mid");

    QTest::mouseClick(window.cmdSFOGLIA, Qt::LeftButton);

    QCOMPARE(window.txIN->text(), path("absent.mid"));
    QCOMPARE(window.txOUT->text(), before);
    QCOMPARE(window.lblStato->text(), QString());
    QVERIFY(window.model()->headingShown());
}

void TestParamStr::convertWithMissingInput()
{
    ParamStr window(m_dialogs, m_clock);
    window.lblStato->setText(QStringLiteral("prima"));

    QVERIFY(test::clickConvert(window));

    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].icon, MessageIcon::Critical);
    QCOMPARE(messages[0].title, QStringLiteral("Midifile inesistente"));
    QCOMPARE(messages[0].text, QStringLiteral("Il midifile non esiste"));
    QCOMPARE(window.lblStato->text(), QStringLiteral("prima"));
    QVERIFY(!QFileInfo::exists(window.txOUT->text()));
}

void TestParamStr::convertWritesFileFillsGridAndReports()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    m_clock.readings = { 1000.0, 1125.4 }; // reader start, output written: 02:05
    ObservedWindow window(m_dialogs, m_clock);
    PaintLog paints;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.lblStato->installEventFilter(&paints);

    QVERIFY(test::clickConvert(window));

    const std::string expected = twoTrackSongConverted();
    QCOMPARE(readBytes(path("Midi_F1_.mid")), expected);
    QCOMPARE(window.righe(), 4);
    QCOMPARE(window.inizio(), 1000.0);
    QCOMPARE(window.lblStato->text(),
        QStringLiteral("Righe: 4      Tempo di elab.: 02:05      Midi_F1_.mid      %1 bytes")
            .arg(expected.size()));

    // Headings above, then the header row and the merged events.
    const EventTableModel &model = *window.model();
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("DT assoluto"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("DT relativo"));
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Dati Midi"));
    QVERIFY(window.GRID->horizontalHeader()->isVisible());
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(cell(window, 0, 2).startsWith(QStringLiteral("4D546864000000060000000101E04D54726B")));
    const QStringList rows[] = { { "00000000", "00", "FF510307A120" },
        { "00000000", "00", "903C40" }, { "00000480", "8360", "803C40" } };
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            QCOMPARE(cell(window, r + 1, c), rows[r][c]);
    }

    // Every phase was on screen, under the busy pointer, before the next began.
    const QStringList captions = { "Lettura Tracce", "Ordinamento Griglia",
        "Inserimento dei Valori di Delta Time relativi",
        "Ripristino, quando possibile, del Running Status",
        "Conversione Esadecimale-Decimale e costruzione txMIDI0" };
    QCOMPARE(window.phases.size(), captions.size());
    for (int i = 0; i < captions.size(); ++i) {
        QCOMPARE(window.phases[i].caption, captions[i]);
        QVERIFY(window.phases[i].busyCursor);
        QVERIFY2(paints.painted.contains(captions[i]), qPrintable(captions[i]));
    }
}

void TestParamStr::convertAfterBrowseShowsHeadingsAsRow()
{
    QVERIFY(writeBytes(path("song.mid"), twoTrackSong()));
    ParamStr window(m_dialogs, m_clock);
    m_dialogs.answers << path("song.mid");
    QTest::mouseClick(window.cmdSFOGLIA, Qt::LeftButton);

    QVERIFY(test::clickConvert(window));

    QCOMPARE(readBytes(path("song_.mid")), twoTrackSongConverted());
    QVERIFY(window.GRID->horizontalHeader()->isHidden());
    QCOMPARE(window.model()->rowCount(), 5);
    QCOMPARE(cell(window, 0, 0), QStringLiteral("DT assoluto"));
    QCOMPARE(cell(window, 4, 2), QStringLiteral("803C40"));
    QVERIFY(window.lblStato->text().startsWith(
        QStringLiteral("Righe: 4      Tempo di elab.: 00:00      song_.mid      ")));
}

void TestParamStr::failedConversionWarnsThenReportsAndWritesNothing()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), brokenSong()));
    ParamStr window(m_dialogs, m_clock);

    QVERIFY(test::clickConvert(window));

    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].icon, MessageIcon::Warning);
    QCOMPARE(messages[0].title, QStringLiteral("Trackfold"));
    QVERIFY2(messages[0].text.endsWith(QStringLiteral("Status 247 - Valore sconosciuto")),
        qPrintable(messages[0].text));
    QVERIFY(!messages[0].busyCursor);
    QCOMPARE(messages[1].icon, MessageIcon::Critical);
    QCOMPARE(messages[1].title, QStringLiteral("Errore Lettura Midifile"));
    QCOMPARE(messages[1].text, QStringLiteral("Impossibile leggere il file"));

    QVERIFY(!QFileInfo::exists(path("Midi_F1_.mid")));
    QCOMPARE(folderEntries(m_home->trackfold()), QStringList { "Midi_F1.mid" });
    QCOMPARE(window.lblStato->text(), QStringLiteral("Lettura Tracce"));
    // The heading row (fixed, empty) and the header row are left.
    QCOMPARE(window.model()->rowCount(), 1);
    QVERIFY(cell(window, 0, 2).startsWith(QStringLiteral("4D546864")));
}

void TestParamStr::outputMayBeTheInput()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    ParamStr window(m_dialogs, m_clock);
    window.txOUT->setText(window.txIN->text());

    QVERIFY(test::clickConvert(window));

    QCOMPARE(readBytes(path("Midi_F1.mid")), twoTrackSongConverted());
    QVERIFY(window.lblStato->text().contains(QStringLiteral("      Midi_F1.mid      ")));
}

void TestParamStr::longerExistingOutputIsReplacedWhole()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    QVERIFY(writeBytes(path("Midi_F1_.mid"), std::string(100000, 'o')));
    ParamStr window(m_dialogs, m_clock);

    QVERIFY(test::clickConvert(window));

    QCOMPARE(readBytes(path("Midi_F1_.mid")), twoTrackSongConverted());
    QCOMPARE(folderEntries(m_home->trackfold()), (QStringList { "Midi_F1.mid", "Midi_F1_.mid" }));
}

void TestParamStr::unreadableInputIsReported()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    QFile::setPermissions(path("Midi_F1.mid"), QFileDevice::Permissions());
    ParamStr window(m_dialogs, m_clock);
    // Permissions do not stop root; this process's own memory file fails to
    // read at offset 0 for anybody.
    if (QFile(path("Midi_F1.mid")).open(QIODevice::ReadOnly))
        window.txIN->setText(QStringLiteral("/proc/self/mem"));
    const QString input = window.txIN->text();

    QVERIFY(test::clickConvert(window));

    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].icon, MessageIcon::Critical);
    QCOMPARE(messages[0].title, QStringLiteral("Errore Lettura Midifile"));
    const QString lead = QStringLiteral("Impossibile aprire il midifile") + Crlf + input + Crlf;
    QVERIFY2(messages[0].text.startsWith(lead), qPrintable(messages[0].text));
    QVERIFY(messages[0].text.size() > lead.size()); // the system's reason
    QVERIFY(!messages[0].busyCursor);
    QVERIFY(!QFileInfo::exists(path("Midi_F1_.mid")));
}

void TestParamStr::unwritableOutputFolderKeepsExistingFile()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    QVERIFY(writeBytes(path("Midi_F1_.mid"), "OLD CONTENT"));
    QVERIFY(
        QFile::setPermissions(m_home->trackfold(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (::access(QFile::encodeName(m_home->trackfold()).constData(), W_OK) == 0)
        QSKIP(
            "this user may write into a read-only folder (root); see failedWriteKeepsExistingFile");
    ParamStr window(m_dialogs, m_clock);

    QVERIFY(test::clickConvert(window));

    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].icon, MessageIcon::Critical);
    QCOMPARE(messages[0].title, QStringLiteral("Errore Scrittura Midifile"));
    const QString lead
        = QStringLiteral("Impossibile salvare il file") + Crlf + path("Midi_F1_.mid") + Crlf;
    QVERIFY2(messages[0].text.startsWith(lead), qPrintable(messages[0].text));
    QVERIFY(messages[0].text.size() > lead.size());
    QCOMPARE(readBytes(path("Midi_F1_.mid")), std::string("OLD CONTENT"));
    QVERIFY(!window.lblStato->text().startsWith(QStringLiteral("Righe")));
}

void TestParamStr::failedWriteKeepsExistingFile()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    QVERIFY(writeBytes(path("Midi_F1_.mid"), std::string(5000, 'o')));
    ObservedWindow window(m_dialogs, m_clock);
    window.faults.failAfterBytes = 16; // the disk fills up in the middle of the header

    QVERIFY(test::clickConvert(window));

    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].title, QStringLiteral("Errore Scrittura Midifile"));
    QVERIFY(messages[0].text.startsWith(
        QStringLiteral("Impossibile salvare il file") + Crlf + path("Midi_F1_.mid") + Crlf));
    QCOMPARE(readBytes(path("Midi_F1_.mid")), std::string(5000, 'o'));
    QCOMPARE(folderEntries(m_home->trackfold()), (QStringList { "Midi_F1.mid", "Midi_F1_.mid" }));
    // The grid still shows the conversion.
    QCOMPARE(window.model()->rowCount(), 4);
}

void TestParamStr::writtenFileIsVerified()
{
    QVERIFY(writeBytes(path("Midi_F1.mid"), twoTrackSong()));
    ObservedWindow window(m_dialogs, m_clock);
    QVERIFY(test::clickConvert(window));
    QVERIFY(m_dialogs.takeMessages().isEmpty()); // a good file says nothing more

    window.dropLastEvent = true;
    QVERIFY(test::clickConvert(window));
    const auto messages = m_dialogs.takeMessages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].icon, MessageIcon::Critical);
    QCOMPARE(messages[0].title, QStringLiteral("Verifica non riuscita"));
    QVERIFY2(messages[0].text.startsWith(QStringLiteral("Verifica non riuscita") + Crlf
                 + QStringLiteral("Evento mancante nel file scritto: tempo ")),
        qPrintable(messages[0].text));
    // The report of the conversion stays.
    QVERIFY(window.lblStato->text().startsWith(QStringLiteral("Righe: ")));
}

void TestParamStr::dropChoosesTheFile()
{
    QVERIFY(writeBytes(path("dropped.mid"), std::string(777, 'x')));
    ParamStr window(m_dialogs, m_clock);

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &refused);
    QVERIFY(!refused.isAccepted());

    QMimeData file;
    file.setUrls({ QUrl::fromLocalFile(path("dropped.mid")) });
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &file, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);

    QCOMPARE(window.txIN->text(), path("dropped.mid"));
    QCOMPARE(window.txOUT->text(), path("dropped_.mid"));
    QCOMPARE(window.lblStato->text(), QStringLiteral("777 bytes"));
    QVERIFY(!window.model()->headingShown());
    QVERIFY(m_dialogs.requests.isEmpty());
}

void TestParamStr::exitEndsTheProgram()
{
    ParamStr window(m_dialogs, m_clock);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(
        0, window.cmdESCI, [&window] { QTest::mouseClick(window.cmdESCI, Qt::LeftButton); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);

    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

void TestParamStr::cancelAndCloseStopALongConversion()
{
    // Sixteen tracks of 65,536 notes: long enough to go in segments.
    std::vector<smf::Track> tracks(16);
    for (int t = 0; t < 16; ++t) {
        for (int i = 0; i < 65536; ++i)
            tracks[static_cast<std::size_t>(t)].event(
                i % 3 == 0 ? 1 : 0, { 0x90 | t, i % 128, 64 });
        tracks[static_cast<std::size_t>(t)].endOfTrack();
    }
    QVERIFY(writeBytes(path("Midi_F1.mid"), smf::file(1, tracks)));
    QVERIFY(writeBytes(path("Midi_F1_.mid"), "OLD CONTENT"));
    ObservedWindow window(m_dialogs, m_clock);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Escape while the tracks are read: the controls are off meanwhile, and
    // afterwards nothing has changed but the status line.
    window.actAt = QStringLiteral("Lettura Tracce");
    bool disabled = false;
    window.act = [&] {
        disabled = !window.cmdCONVERTI->isEnabled() && !window.cmdSFOGLIA->isEnabled()
            && !window.cboFORMATO->isEnabled() && !window.chkTITOLO->isEnabled();
        QTest::keyClick(&window, Qt::Key_Escape);
    };
    QVERIFY(test::clickConvert(window));
    QVERIFY(disabled);
    QCOMPARE(window.lblStato->text(), QStringLiteral("Conversione annullata"));
    QCOMPARE(readBytes(path("Midi_F1_.mid")), std::string("OLD CONTENT"));
    QCOMPARE(QDir(m_home->trackfold()).entryList(QDir::Files).size(), 2);
    QCOMPARE(window.model()->rowCount(), 0);
    QVERIFY(window.pianoRoll->roll().notes().empty());
    QVERIFY(window.cmdCONVERTI->isEnabled() && window.cboFORMATO->isEnabled());

    // Closing the window while it splits the file cancels first, then closes.
    window.cboFORMATO->setCurrentIndex(1);
    window.actAt = QStringLiteral("Ordinamento Griglia");
    window.act = [&] { window.close(); };
    QVERIFY(test::clickConvert(window));
    QVERIFY(!window.isVisible());
    QCOMPARE(readBytes(path("Midi_F1_.mid")), std::string("OLD CONTENT"));

    // Left alone, the fold completes on its thread with every row. The table
    // and the report come up first, the roll after them; the controls stay
    // off until it has.
    window.act = nullptr;
    window.cboFORMATO->setCurrentIndex(0);
    QString reportFirst;
    bool stillConverting = false;
    connect(&window, &ParamStr::reportShown, [&] {
        reportFirst = window.lblStato->text();
        stillConverting = window.converting() && !window.cmdCONVERTI->isEnabled()
            && window.righe() == 16 * 65536 + 1;
        // A row chosen before the roll is up shows in it once it is.
        window.GRID->setCurrentIndex(window.model()->index(3, 0));
    });
    QVERIFY(test::clickConvert(window));
    QVERIFY(stillConverting);
    QCOMPARE(window.righe(), 16 * 65536 + 1);
    QVERIFY(window.lblStato->text().startsWith(QStringLiteral("Righe: 1048577 ")));
    QCOMPARE(reportFirst, window.lblStato->text());
    QVERIFY(!window.pianoRoll->roll().notes().empty());
    QCOMPARE(window.pianoRoll->selectedNote(), std::size_t { 2 });
    QVERIFY(window.cmdCONVERTI->isEnabled());

    // The table reads the written file's bytes as its own: cut short on disk,
    // the file still shows whole.
    const EventGrid &grid = window.grid();
    // The last event's row, above the grid's empty last row.
    const std::string last = grid.textMatrix(grid.rows() - 2, 2);
    QCOMPARE(last, "9E7F40");
    window.waitForOwnCopy();
    QVERIFY(QFile::resize(path("Midi_F1_.mid"), 0));
    QCOMPARE(grid.textMatrix(grid.rows() - 2, 2), last);
}

QTEST_MAIN(TestParamStr)
#include "tst_paramstr.moc"
