// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_PARAMSTR_H
#define TRACKFOLD_PARAMSTR_H

#include "clock.h"
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "pianoroll.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSplitter;
class QTableView;
class QTimer;

namespace trackfold {

class ConversionRun;
class EventTableModel;
class ModelUpdate;
class PianoRollView;
class RowWindow;
class UserDialogs;

// The main window: the input and output paths, Browse, Exit, Convert and save,
// the event grid with the piano roll of the converted file below it, and the
// status line. The engine fills its grid and reports
// to it: the phase captions go to the status line, warnings to message boxes.
class ParamStr : public QWidget, public ConversionObserver
{
    Q_OBJECT

public:
    // dialogs and clock must outlive the window. The load handler runs here:
    // documents folder, default paths, size of the default input.
    ParamStr(UserDialogs &dialogs, Clock &clock, QWidget *parent = nullptr);
    ~ParamStr() override;

    // Sets path as the input as "&Cerca" does after its dialog: when the file
    // exists, the output name is proposed, the grid emptied and the size shown.
    void chooseInput(const QString &path);

    // The button handlers. Convert starts the conversion on a thread of its
    // own and returns; conversionFinished() tells when it is over.
    void cmdSFOGLIA_Click();
    void cmdCONVERTI_Click();
    void cmdESCI_Click();
    // Cancel and Escape while a conversion runs.
    void cmdANNULLA_Click();

    // True from Convert until the conversion is over and shown.
    bool converting() const { return m_run != nullptr; }

    EventTableModel *model() const { return m_model; }
    std::int64_t righe() const { return RIGHE; }
    double inizio() const { return INIZIO; }

    const EventGrid &grid() const { return m_grid; }
    // Waits until the output's bytes the table shows are the program's own,
    // copied aside after a conversion (benchmarks).
    void waitForOwnCopy() { m_grid.waitForOwnCopy(); }

    // ConversionObserver
    void showStatus(const std::string &caption) override;
    void showMessage(const Message &message) override;
    void setBusy(bool busy) override;

    // The controls, under the names the tests look for.
    QLabel *lblIN = nullptr;
    QLineEdit *txIN = nullptr;
    QPushButton *cmdSFOGLIA = nullptr;
    QPushButton *cmdESCI = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txOUT = nullptr;
    QPushButton *cmdCONVERTI = nullptr;
    QTableView *GRID = nullptr;
    // Beside GRID for a file whose rows the model holds a window of at a time.
    QScrollBar *barRIGHE = nullptr;
    // The format of the written file: index 0 folds, index 1 splits.
    QLabel *lblFORMATO = nullptr;
    QComboBox *cboFORMATO = nullptr;
    // Off: the folded track is named "Titolo del Brano Midi"; on: with the
    // input's title when it has one.
    QCheckBox *chkTITOLO = nullptr;
    QLabel *lblStato = nullptr;
    // Beside the status line while a long conversion runs: how far it has
    // come, and the button that stops it.
    QProgressBar *progress = nullptr;
    QPushButton *cmdANNULLA = nullptr;
    // Below the grid, in a splitter: the piano roll of the converted file and
    // its legend of tracks.
    QSplitter *splitter = nullptr;
    PianoRollView *pianoRoll = nullptr;
    QListWidget *rollLegend = nullptr;

signals:
    // The conversion started by Convert is over: its report, table, roll and
    // messages are shown (or it was cancelled, or it failed).
    void conversionFinished();
    // The table and the report of a conversion that went well are shown;
    // the roll may follow later, with conversionFinished().
    void reportShown();

protected:
    // Faults for the output's write; a test puts a failing disk here.
    virtual WriteFaults writeFaults() const;

    // Closing the window while it converts cancels the conversion first.
    void closeEvent(QCloseEvent *event) override;

    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void placeWindow();
    void Form_Load();
    void applyGridLayout();
    void fillLegend();
    void selectGridRow(qulonglong gridRow);
    void setStatusText(const QString &text);
    void critical(const char *title, const QString &text);
    void setConverting(bool converting);
    void showLongConversion();
    void updateProgress();
    void showRows();
    void finishConversion();
    void endConversion();
    void showConverted(const ConversionResult &done, PianoRoll roll, const QString &out);
    void showReport(const QString &out);
    void renewRowsHeader();

    UserDialogs &m_dialogs;
    Clock &m_clock;
    EventGrid m_grid;
    EventTableModel *m_model = nullptr;
    bool m_busy = false;
    // The conversion under way, and the model update it keeps open.
    ConversionRun *m_run = nullptr;
    std::unique_ptr<ModelUpdate> m_update;
    RowWindow *m_rowWindow = nullptr;
    QString m_runInput;
    QString m_runOutput;
    QTimer *m_longTimer = nullptr;
    QTimer *m_progressTimer = nullptr;
    bool m_closeWhenDone = false;
    // The table and report of the conversion under way are up.
    bool m_rowsShown = false;

    std::int64_t RIGHE = 0;
    double INIZIO = 0.0;
};

} // namespace trackfold

#endif
