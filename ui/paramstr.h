// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_PARAMSTR_H
#define TRACKFOLD_PARAMSTR_H

#include "clock.h"
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSplitter;
class QTableView;

namespace trackfold {

class EventTableModel;
class PianoRollView;
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

    // The button handlers.
    void cmdSFOGLIA_Click();
    void cmdCONVERTI_Click();
    void cmdESCI_Click();

    EventTableModel *model() const { return m_model; }
    std::int64_t righe() const { return RIGHE; }
    double inizio() const { return INIZIO; }

    const EventGrid &grid() const { return m_grid; }

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
    // The format of the written file: index 0 folds, index 1 splits.
    QLabel *lblFORMATO = nullptr;
    QComboBox *cboFORMATO = nullptr;
    // Off: the folded track is named "Titolo del Brano Midi"; on: with the
    // input's title when it has one.
    QCheckBox *chkTITOLO = nullptr;
    QLabel *lblStato = nullptr;
    // Below the grid, in a splitter: the piano roll of the converted file and
    // its legend of tracks.
    QSplitter *splitter = nullptr;
    PianoRollView *pianoRoll = nullptr;
    QListWidget *rollLegend = nullptr;

protected:
    // Faults for the output's write; a test puts a failing disk here.
    virtual WriteFaults writeFaults() const;

    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createControls();
    void placeWindow();
    void Form_Load();
    void applyGridLayout();
    void fillLegend();
    void selectModelRow(int row);
    void setStatusText(const QString &text);
    void critical(const char *title, const QString &text);

    UserDialogs &m_dialogs;
    Clock &m_clock;
    EventGrid m_grid;
    EventTableModel *m_model = nullptr;
    bool m_busy = false;

    std::int64_t RIGHE = 0;
    double INIZIO = 0.0;
};

} // namespace trackfold

#endif
