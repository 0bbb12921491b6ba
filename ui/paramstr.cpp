// SPDX-License-Identifier: MIT
#include "paramstr.h"

#include "clock.h"
#include "conversionrun.h"
#include "eventtablemodel.h"
#include "fileio.h"
#include "module1.h"
#include "pianorollview.h"
#include "report.h"
#include "rowwindow.h"
#include "texts.h"
#include "uitexts.h"
#include "userdialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <new>
#include <thread>
#include <utility>

namespace trackfold {

namespace {

// The window's client area and the grid's column widths are given in twips
// (1/1440 inch).
constexpr int ClientWidthTwips = 11355;
constexpr int ClientHeightTwips = 9255;
constexpr int TwipsPerInch = 1440;
constexpr int BrowseWidthTwips = 1920;
constexpr int ExitWidthTwips = 840;
constexpr int ConvertWidthTwips = 2760;
// The grid's columns: absolute time, delta time, event bytes.
constexpr int ColWidthsTwips[3] = { 1100, 1000, 10000 };
// A conversion that takes longer than this shows its progress and Cancel; a
// shorter one looks as if it ran on the window's thread.
constexpr int LongConversionMs = 400;
// How often the progress bar follows the conversion.
constexpr int ProgressMs = 50;
constexpr int ProgressSteps = 1000;

int toPixels(int twips, int dpi)
{
    return twips * dpi / TwipsPerInch;
}

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// An engine text in the user's language, from the engine's catalogue.
QString translated(const char *msgid)
{
    return QString::fromUtf8(trackfold::tr(msgid));
}

// Paths go to the engine's file functions in the file system's own encoding.
std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// First local file among dropped URLs, or "".
QString droppedFile(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return QString();
}

} // namespace

ParamStr::ParamStr(UserDialogs &dialogs, Clock &clock, QWidget *parent)
    : QWidget(parent)
    , m_dialogs(dialogs)
    , m_clock(clock)
{
    setObjectName(QStringLiteral("ParamStr"));
    setWindowTitle(text(texts::AppName));
    setAcceptDrops(true);

    m_model = new EventTableModel(m_grid, this);
    createControls();
    placeWindow();
    Form_Load();
}

ParamStr::~ParamStr()
{
    // A conversion still under way stops before the grid it fills goes.
    if (m_run) {
        m_run->cancel();
        delete m_run;
        m_run = nullptr;
    }
    m_update.reset();
    // The grid goes before QWidget's destructor hides and deletes the children,
    // and a header being hidden still asks the model for its texts.
    GRID->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    if (m_busy)
        QApplication::restoreOverrideCursor();
}

void ParamStr::createControls()
{
    auto name = [](QWidget *widget, const char *objectName) {
        widget->setObjectName(QLatin1String(objectName));
    };

    lblIN = new QLabel(tr(uitexts::InputLabel), this);
    name(lblIN, "lblIN");
    txIN = new QLineEdit(this);
    name(txIN, "txIN");
    cmdSFOGLIA = new QPushButton(tr(uitexts::Browse), this);
    name(cmdSFOGLIA, "cmdSFOGLIA");
    cmdESCI = new QPushButton(tr(uitexts::Exit), this);
    name(cmdESCI, "cmdESCI");
    Label1 = new QLabel(tr(uitexts::OutputLabel), this);
    name(Label1, "Label1");
    txOUT = new QLineEdit(this);
    name(txOUT, "txOUT");
    cmdCONVERTI = new QPushButton(tr(uitexts::Convert), this);
    name(cmdCONVERTI, "cmdCONVERTI");
    GRID = new QTableView(this);
    name(GRID, "GRID");
    barRIGHE = new QScrollBar(Qt::Vertical, this);
    name(barRIGHE, "barRIGHE");
    lblFORMATO = new QLabel(tr(uitexts::FormatLabel), this);
    name(lblFORMATO, "lblFORMATO");
    cboFORMATO = new QComboBox(this);
    name(cboFORMATO, "cboFORMATO");
    cboFORMATO->addItem(tr(uitexts::Format0));
    cboFORMATO->addItem(tr(uitexts::Format1));
    lblFORMATO->setBuddy(cboFORMATO);
    chkTITOLO = new QCheckBox(tr(uitexts::KeepTitle), this);
    name(chkTITOLO, "chkTITOLO");
    pianoRoll = new PianoRollView(m_grid, *m_model, this);
    name(pianoRoll, "pianoRoll");
    rollLegend = new QListWidget(this);
    name(rollLegend, "rollLegend");
    lblStato = new QLabel(this);
    name(lblStato, "lblStato");
    progress = new QProgressBar(this);
    name(progress, "progress");
    progress->setRange(0, ProgressSteps);
    progress->setTextVisible(false);
    progress->setFixedWidth(toPixels(ConvertWidthTwips, logicalDpiX()));
    progress->hide();
    cmdANNULLA = new QPushButton(tr(uitexts::Cancel), this);
    name(cmdANNULLA, "cmdANNULLA");
    cmdANNULLA->hide();

    // A drop on a path box would paste the URL as text; let the window take it.
    txIN->setAcceptDrops(false);
    txOUT->setAcceptDrops(false);

    QPalette convertPalette = cmdCONVERTI->palette();
    convertPalette.setColor(QPalette::Button, QColor(128, 255, 128));
    cmdCONVERTI->setPalette(convertPalette);

    lblStato->setAutoFillBackground(true);
    QPalette statusPalette = lblStato->palette();
    statusPalette.setColor(QPalette::Window, QColor(255, 255, 192));
    statusPalette.setColor(QPalette::WindowText, Qt::black);
    lblStato->setPalette(statusPalette);
    QFont statusFont(QStringLiteral("Sans Serif"), 9, QFont::Bold);
    statusFont.setStyleHint(QFont::SansSerif);
    lblStato->setFont(statusFont);
    lblStato->setMargin(2);
    lblStato->setTextFormat(Qt::PlainText);
    lblStato->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The grid: read-only, whole rows, Tab moves on to the next control. Rows
    // all share one height and nothing is measured per row, so a million rows
    // scroll as smoothly as ten.
    GRID->setModel(m_model);
    GRID->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GRID->setSelectionBehavior(QAbstractItemView::SelectRows);
    GRID->setSelectionMode(QAbstractItemView::SingleSelection);
    GRID->setTabKeyNavigation(false);
    GRID->setWordWrap(false);
    GRID->setCornerButtonEnabled(false);
    renewRowsHeader();
    QHeaderView *columnsHeader = GRID->horizontalHeader();
    columnsHeader->setSectionResizeMode(QHeaderView::Interactive);
    columnsHeader->setHighlightSections(false);
    columnsHeader->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columnsHeader->setStretchLastSection(false);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ParamStr::applyGridLayout);
    applyGridLayout();

    // The roll refers to the grid's rows: it empties before the grid changes,
    // and the conversion builds it again. Selection goes both ways.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, pianoRoll, &PianoRollView::clear);
    connect(GRID->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex &current) {
            if (current.isValid())
                pianoRoll->showGridRow(m_model->gridRow(current.row()));
        });
    m_rowWindow = new RowWindow(*GRID, *m_model, *barRIGHE, this);
    connect(pianoRoll, &PianoRollView::rowClicked, this, &ParamStr::selectGridRow);
    connect(pianoRoll, &PianoRollView::rollChanged, this, &ParamStr::fillLegend);
    rollLegend->setAccessibleName(
        QCoreApplication::translate(uitexts::RollContext, uitexts::LegendName));
    rollLegend->setFocusPolicy(Qt::NoFocus);
    rollLegend->setSelectionMode(QAbstractItemView::NoSelection);
    rollLegend->setFixedWidth(rollLegend->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 28);

    auto *rollPane = new QWidget(this);
    auto *rollLayout = new QHBoxLayout(rollPane);
    rollLayout->setContentsMargins(0, 0, 0, 0);
    rollLayout->addWidget(pianoRoll, 1);
    rollLayout->addWidget(rollLegend);
    splitter = new QSplitter(Qt::Vertical, this);
    name(splitter, "splitter");
    // A file of millions of rows scrolls by a bar of its own beside the table.
    auto *gridPane = new QWidget(this);
    auto *gridLayout = new QHBoxLayout(gridPane);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->setSpacing(0);
    gridLayout->addWidget(GRID, 1);
    gridLayout->addWidget(barRIGHE);
    splitter->addWidget(gridPane);
    splitter->addWidget(rollPane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto *paths = new QGridLayout;
    paths->addWidget(lblIN, 0, 0);
    paths->addWidget(txIN, 0, 1);
    paths->addWidget(cmdSFOGLIA, 0, 2);
    paths->addWidget(cmdESCI, 0, 3);
    paths->addWidget(Label1, 1, 0);
    paths->addWidget(txOUT, 1, 1);
    paths->addWidget(cmdCONVERTI, 1, 2, 1, 2);
    paths->addWidget(lblFORMATO, 2, 0);
    auto *options = new QHBoxLayout;
    options->addWidget(cboFORMATO);
    options->addSpacing(12);
    options->addWidget(chkTITOLO);
    options->addStretch(1);
    paths->addLayout(options, 2, 1);
    // The path boxes take the spare width; the buttons keep their widths.
    paths->setColumnStretch(1, 1);
    cmdSFOGLIA->setMinimumWidth(toPixels(BrowseWidthTwips, logicalDpiX()));
    cmdESCI->setMinimumWidth(toPixels(ExitWidthTwips, logicalDpiX()));
    cmdCONVERTI->setMinimumWidth(toPixels(ConvertWidthTwips, logicalDpiX()));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(paths);
    layout->addSpacing(4);
    layout->addWidget(splitter, 1);
    auto *statusRow = new QHBoxLayout;
    statusRow->addWidget(lblStato, 1);
    statusRow->addWidget(progress);
    statusRow->addWidget(cmdANNULLA);
    layout->addLayout(statusRow);

    m_longTimer = new QTimer(this);
    m_longTimer->setSingleShot(true);
    m_longTimer->setInterval(LongConversionMs);
    connect(m_longTimer, &QTimer::timeout, this, &ParamStr::showLongConversion);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(ProgressMs);
    connect(m_progressTimer, &QTimer::timeout, this, &ParamStr::updateProgress);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &ParamStr::cmdANNULLA_Click);

    connect(cmdSFOGLIA, &QPushButton::clicked, this, &ParamStr::cmdSFOGLIA_Click);
    connect(cmdCONVERTI, &QPushButton::clicked, this, &ParamStr::cmdCONVERTI_Click);
    connect(cmdESCI, &QPushButton::clicked, this, &ParamStr::cmdESCI_Click);
    connect(cmdANNULLA, &QPushButton::clicked, this, &ParamStr::cmdANNULLA_Click);

    // The grid comes first and has the focus; in Italian "&Cerca" and "&Converti
    // e salva" share Alt+C, which Qt turns into moving between the two.
    setTabOrder(GRID, cmdCONVERTI);
    setTabOrder(cmdCONVERTI, txIN);
    setTabOrder(txIN, txOUT);
    setTabOrder(txOUT, cmdSFOGLIA);
    setTabOrder(cmdSFOGLIA, cmdESCI);
    setTabOrder(cmdESCI, pianoRoll);
    setTabOrder(pianoRoll, cboFORMATO);
    setTabOrder(cboFORMATO, chkTITOLO);
    GRID->setFocus();
}

void ParamStr::renewRowsHeader()
{
    // The rows' header keeps a few bytes for every row it has ever had, even
    // once the rows are gone (768 MB after 96 million rows): a new one each
    // time the table empties gives that memory back.
    auto *rowsHeader = new QHeaderView(Qt::Vertical, GRID);
    rowsHeader->setSectionResizeMode(QHeaderView::Fixed);
    rowsHeader->setDefaultSectionSize(GRID->fontMetrics().height() + 6);
    rowsHeader->hide();
    GRID->setVerticalHeader(rowsHeader);
}

void ParamStr::placeWindow()
{
    const int dpiX = logicalDpiX();
    const int dpiY = logicalDpiY();
    resize(toPixels(ClientWidthTwips, dpiX), toPixels(ClientHeightTwips, dpiY));

    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(available.center());
    // A window larger than the screen keeps its title bar reachable.
    frame.moveTop(std::max(frame.top(), available.top()));
    frame.moveLeft(std::max(frame.left(), available.left()));
    move(frame.topLeft());
}

void ParamStr::Form_Load()
{
    DocumentsFolder();
    txIN->setText(DirDocumenti + text(uitexts::DefaultInput));
    txOUT->setText(DirDocumenti + text(uitexts::DefaultOutput));
    const QString input = txIN->text();
    if (FileExists(input))
        lblStato->setText(FileNameOf(input) + text(uitexts::NameSizeGap)
            + QString::number(QFileInfo(input).size()) + translated(texts::Bytes));
}

void ParamStr::applyGridLayout()
{
    const int dpi = GRID->logicalDpiX();
    QHeaderView *header = GRID->horizontalHeader();
    const bool headingShown = m_model->headingShown();
    header->setVisible(headingShown);
    for (int c = 0; c < m_grid.cols() && c < 3; ++c) {
        const int twips = ColWidthsTwips[c];
        // The widths were chosen for a small 8-point font; with the desktop's
        // larger one a heading would be cut, so a column is never narrower
        // than its heading. One measurement per column, none per row.
        int width = toPixels(twips, dpi);
        if (headingShown) {
            width = std::max(width, header->sectionSizeHint(c));
        } else if (m_grid.rows() > 0) {
            // The headings scroll as the first row; the cell adds a small margin.
            const QString heading = QString::fromStdString(m_grid.textMatrix(0, c));
            width = std::max(width, GRID->fontMetrics().horizontalAdvance(heading) + 12);
        }
        GRID->setColumnWidth(c, width);
    }
}

void ParamStr::fillLegend()
{
    rollLegend->clear();
    const int side = rollLegend->fontMetrics().height() - 4;
    for (const RollTrack &track : pianoRoll->roll().tracks()) {
        const QString number = QString::number(track.number);
        // Track names carry no declared encoding; Latin-1 reads ASCII right,
        // as the tooltips do.
        const QString label = track.name.empty()
            ? QCoreApplication::translate(uitexts::RollContext, uitexts::LegendTrack).arg(number)
            : QCoreApplication::translate(uitexts::RollContext, uitexts::LegendNamedTrack)
                  .arg(number, QString::fromLatin1(track.name).simplified());
        QPixmap swatch(side, side);
        swatch.fill(PianoRollView::trackColor(track.number));
        rollLegend->addItem(new QListWidgetItem(QIcon(swatch), label));
    }
}

void ParamStr::selectGridRow(qulonglong gridRow)
{
    m_rowWindow->selectGridRow(gridRow, QAbstractItemView::PositionAtCenter);
}

void ParamStr::chooseInput(const QString &path)
{
    // The grid belongs to a conversion under way.
    if (m_run)
        return;
    txIN->setText(path);
    if (!FileExists(path))
        return;
    // The last four characters go whatever they are: "song.mid" -> "song_.mid".
    txOUT->setText(QString::fromStdString(proposedOutputName(path.toStdString())));
    {
        ModelUpdate update(*m_model);
        m_grid.setFixedRows(0);
        m_grid.setRows(1);
        m_grid.clear();
    }
    pianoRoll->clear();
    renewRowsHeader();
    ConversionRun::releaseFreedMemory();
    lblStato->setText(QString::number(QFileInfo(path).size()) + translated(texts::Bytes));
}

void ParamStr::cmdSFOGLIA_Click()
{
    const QString previous = txIN->text();
    const QChar nul(0);
    const QString filter = tr(uitexts::FilterMidi) + nul + text(uitexts::FilterMidiPattern) + nul
        + tr(uitexts::FilterAll) + nul + text(uitexts::FilterAllPattern);
    const QString chosen = FileDialog(m_dialogs, this, 1, tr(uitexts::OpenTitle), previous, filter,
        QString(), text(uitexts::DefaultSuffix));
    if (chosen.isEmpty()) {
        txIN->setText(previous);
        return;
    }
    chooseInput(chosen);
}

void ParamStr::cmdCONVERTI_Click()
{
    if (m_run)
        return;
    const QString in = txIN->text();
    const QString out = txOUT->text();
    if (!FileExists(in)) {
        critical(texts::MissingInputTitle, translated(texts::MissingInput));
        return;
    }

    // The view sees the grid again only once the conversion is over; the old
    // conversion's memory goes back to the system, freed on the conversion's
    // thread before the new one starts.
    PianoRoll oldRoll = pianoRoll->takeRoll();
    m_update = std::make_unique<ModelUpdate>(*m_model);
    EventGrid::Storage oldGrid = m_grid.takeStorage();
    m_grid.setRows(1);
    m_grid.clear();
    renewRowsHeader();
    setBusy(true);
    setStatusText(translated(texts::Analysing));

    // The file on disk is read back and checked against the input; the user
    // hears of it only when something is wrong. The merge and the writing go
    // on every core, as on the command line.
    ConversionJob job;
    job.verify = true;
    job.threads = std::max(1u, std::thread::hardware_concurrency());
    job.format = cboFORMATO->currentIndex() == 1 ? 1 : 0;
    job.keepTitle = chkTITOLO->isChecked();
    m_runInput = in;
    m_runOutput = out;
    m_run = new ConversionRun(
        nativePath(in), nativePath(out), job, writeFaults(), m_grid, m_clock, this);
    m_run->discardFirst(std::move(oldGrid), std::move(oldRoll));
    connect(m_run, &ConversionRun::statusChanged, this,
        [this](const QString &caption) { showStatus(caption.toStdString()); });
    connect(m_run, &ConversionRun::rowsReady, this, &ParamStr::showRows);
    connect(m_run, &ConversionRun::finished, this, &ParamStr::finishConversion);
    setConverting(true);
    m_run->start();
}

void ParamStr::cmdANNULLA_Click()
{
    if (m_run)
        m_run->cancel();
}

void ParamStr::setConverting(bool converting)
{
    cmdSFOGLIA->setEnabled(!converting);
    cmdCONVERTI->setEnabled(!converting);
    cboFORMATO->setEnabled(!converting);
    chkTITOLO->setEnabled(!converting);
    if (converting) {
        m_longTimer->start();
        return;
    }
    m_longTimer->stop();
    m_progressTimer->stop();
    progress->hide();
    cmdANNULLA->hide();
}

void ParamStr::showLongConversion()
{
    if (!m_run)
        return;
    progress->setValue(0);
    updateProgress();
    progress->show();
    cmdANNULLA->show();
    m_progressTimer->start();
    // The pointer says the window still answers.
    QApplication::changeOverrideCursor(Qt::BusyCursor);
}

void ParamStr::updateProgress()
{
    if (!m_run)
        return;
    const std::uint64_t total = m_run->total();
    const std::uint64_t done = std::min(m_run->done(), total);
    progress->setValue(total == 0 ? 0
                                  : static_cast<int>(static_cast<double>(done)
                                      / static_cast<double>(total) * ProgressSteps));
}

void ParamStr::showRows()
{
    // A long file's roll is built after its rows are read and checked: the
    // table and the report need not wait for it. A conversion with something
    // to tell (a warning, a failed check) is shown all at once at the end.
    if (!m_run)
        return;
    const ConversionResult &done = m_run->result();
    if (done.status != ConversionStatus::Converted || !done.warning.empty()
        || !m_run->messages().empty())
        return;
    // Nothing is left to cancel, and no progress bar is wanted any more.
    m_longTimer->stop();
    m_progressTimer->stop();
    progress->hide();
    cmdANNULLA->hide();
    m_update.reset();
    RIGHE = done.RIGHE;
    INIZIO = done.INIZIO;
    showReport(m_runOutput);
    m_rowsShown = true;
    emit reportShown();
}

void ParamStr::finishConversion()
{
    std::unique_ptr<ConversionRun> run(m_run);
    m_run = nullptr;
    setConverting(false);
    if (std::exchange(m_rowsShown, false)) {
        pianoRoll->showRoll(run->takeRoll());
        run.reset();
        // A row chosen in the table meanwhile is shown in the roll too.
        const QModelIndex current = GRID->selectionModel()->currentIndex();
        if (current.isValid())
            pianoRoll->showGridRow(m_model->gridRow(current.row()));
        setBusy(false);
        return endConversion();
    }
    const ConversionResult done = run->result();
    PianoRoll roll = run->takeRoll();
    const std::vector<Message> messages = run->messages();
    run.reset();
    const QString in = m_runInput;
    const QString out = m_runOutput;

    setBusy(false);
    if (done.status == ConversionStatus::Cancelled) {
        // Nothing of the stopped conversion stays in view or in memory.
        m_grid.setRows(1);
        m_grid.clear();
    }
    m_update.reset();
    if (done.status == ConversionStatus::Cancelled)
        renewRowsHeader();
    RIGHE = done.RIGHE;
    INIZIO = done.INIZIO;
    for (const Message &message : messages)
        showMessage(message);
    const QString reason = QString::fromLocal8Bit(done.error);
    switch (done.status) {
    case ConversionStatus::Cancelled:
        ConversionRun::releaseFreedMemory();
        setStatusText(tr(uitexts::Cancelled));
        break;
    case ConversionStatus::CannotOpen:
        critical(texts::ReadErrorTitle,
            translated(texts::CannotOpen) + text(texts::Crlf) + in + text(texts::Crlf) + reason);
        break;
    case ConversionStatus::ConversionFailed:
        critical(texts::ReadErrorTitle, translated(texts::ConversionFailed));
        break;
    case ConversionStatus::CannotSave:
    case ConversionStatus::OutputExists:
        critical(texts::WriteErrorTitle,
            translated(texts::CannotSave) + text(texts::Crlf) + out + text(texts::Crlf) + reason);
        break;
    case ConversionStatus::Converted:
    case ConversionStatus::VerifyFailed:
        showConverted(done, std::move(roll), out);
        emit reportShown();
        break;
    }
    endConversion();
}

void ParamStr::endConversion()
{
    // The bytes the table reads become the program's own from now on.
    m_grid.keepOwnCopy();
    emit conversionFinished();
    if (m_closeWhenDone)
        close();
}

void ParamStr::showConverted(const ConversionResult &done, PianoRoll roll, const QString &out)
{
    pianoRoll->showRoll(std::move(roll));
    showReport(out);
    if (!done.warning.empty())
        showMessage({ MessageIcon::Warning, texts::AppName, done.warning });
    if (done.status == ConversionStatus::VerifyFailed) {
        critical(texts::VerifyFailed,
            translated(texts::VerifyFailed) + text(texts::Crlf)
                + QString::fromStdString(done.error));
    }
}

void ParamStr::showReport(const QString &out)
{
    // A monotonic clock cannot run backwards, but a host clock that was reset
    // between the two readings must still not give a negative time.
    const std::int64_t seconds = elapsedSeconds(INIZIO, m_clock.seconds());
    lblStato->setText(QString::fromStdString(conversionReport(
        RIGHE, seconds, out.toStdString(), static_cast<std::uint64_t>(QFileInfo(out).size()))));
}

void ParamStr::closeEvent(QCloseEvent *event)
{
    if (m_run) {
        // The window closes once the conversion has stopped and left nothing.
        m_closeWhenDone = true;
        m_run->cancel();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

WriteFaults ParamStr::writeFaults() const
{
    return {};
}

void ParamStr::cmdESCI_Click()
{
    close();
    QCoreApplication::quit();
}

void ParamStr::showStatus(const std::string &caption)
{
    setStatusText(QString::fromStdString(caption));
}

void ParamStr::setStatusText(const QString &caption)
{
    // The event loop does not run during a conversion: paint the caption now.
    lblStato->setText(caption);
    lblStato->repaint();
}

void ParamStr::showMessage(const Message &message)
{
    const QString title
        = message.title.empty() ? text(texts::AppName) : QString::fromStdString(message.title);
    m_dialogs.showMessage(this, message.icon, title, QString::fromStdString(message.text));
}

void ParamStr::critical(const char *title, const QString &message)
{
    m_dialogs.showMessage(this, MessageIcon::Critical, translated(title), message);
}

void ParamStr::setBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void ParamStr::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void ParamStr::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    chooseInput(path);
}

} // namespace trackfold
