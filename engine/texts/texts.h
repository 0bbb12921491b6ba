// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TEXTS_H
#define TRACKFOLD_TEXTS_H

#include "i18n.h"

// The engine's user-visible texts, shared by the engine, its callers and tests.
// They are the Italian source texts (msgids); N_ marks those that are shown
// translated, through tr(), where they reach the user. The track name goes into
// every file as it is, and so do the grid's headings into --table; the window
// shows them translated.
namespace trackfold::texts {

inline constexpr const char *AppName = "Trackfold";
inline constexpr const char *Version = "1.00";

// Status captions of the conversion, in the order they appear.
inline constexpr const char *Analysing = N_("Analisi Midifile");
inline constexpr const char *ReadingTracks = N_("Lettura Tracce");
inline constexpr const char *SortingGrid = N_("Ordinamento Griglia");
inline constexpr const char *InsertingDeltas = N_("Inserimento dei Valori di Delta Time relativi");
inline constexpr const char *RestoringRunningStatus
    = N_("Ripristino, quando possibile, del Running Status");
inline constexpr const char *BuildingOutput
    = N_("Conversione Esadecimale-Decimale e costruzione txMIDI0");

// Grid headings.
inline constexpr const char *HeadingAbsolute = N_("DT assoluto");
inline constexpr const char *HeadingDelta = N_("DT relativo");
inline constexpr const char *HeadingData = N_("Dati Midi");

// The track name every output carries.
inline constexpr const char *Title = "Titolo del Brano Midi";

// Reader warnings (behind "Pos." + position + CRLF).
inline constexpr const char *UnknownValue = N_(" - Valore sconosciuto");
inline constexpr const char *IncompleteEvent = N_("Evento incompleto - fine del file inattesa");
inline constexpr const char *TimeTooLarge
    = N_("Tempo assoluto troppo grande - Valore non rappresentabile");
inline constexpr const char *InvalidHeader = N_("Intestazione del midifile non valida");
inline constexpr const char *FileTooLarge = N_("Midifile troppo grande");
inline constexpr const char *Format2 = N_("Midifile di formato 2 non convertibile");
// A RIFF file that holds no Standard MIDI File to convert.
inline constexpr const char *RiffNotRmid = N_("File RIFF che non è un RMID (un midifile RIFF)");
inline constexpr const char *RmidNoData = N_("File RMID senza il blocco \"data\" del midifile");
inline constexpr const char *RmidTruncated
    = N_("File RMID troncato: la lunghezza di un blocco va oltre la fine del file");
// Merge warning (behind "Riga " + row + CRLF).
inline constexpr const char *DeltaTooLarge
    = N_("Delta time troppo grande - Valore non rappresentabile");

// Messages of the callers.
inline constexpr const char *MissingInput = N_("Il midifile non esiste");
inline constexpr const char *MissingInputTitle = N_("Midifile inesistente");
inline constexpr const char *ConversionFailed = N_("Impossibile leggere il file");
inline constexpr const char *ReadErrorTitle = N_("Errore Lettura Midifile");
inline constexpr const char *CannotOpen = N_("Impossibile aprire il midifile");
inline constexpr const char *CannotSave = N_("Impossibile salvare il file");
inline constexpr const char *WriteErrorTitle = N_("Errore Scrittura Midifile");

// Status line report pieces: "Righe: N      Tempo di elab.: mm:ss      name      size bytes".
inline constexpr const char *ReportRows = N_("Righe: ");
inline constexpr const char *ReportTime = N_("      Tempo di elab.: ");
inline constexpr const char *ReportGap = "      ";
inline constexpr const char *Bytes = N_(" bytes");

// Checking a written file against its conversion.
inline constexpr const char *VerifyOk = N_("Verifica: OK");
inline constexpr const char *VerifyFailed = N_("Verifica non riuscita");
inline constexpr const char *VerifyMissing = N_("Evento mancante nel file scritto");
inline constexpr const char *VerifyExtra = N_("Evento in più nel file scritto");
inline constexpr const char *VerifyTime = N_(": tempo ");
inline constexpr const char *VerifyData = N_(", dati ");
inline constexpr const char *VerifyEndOfTrack = N_("Fine della traccia nel file scritto al tempo ");
inline constexpr const char *VerifyEndExpected = N_(" invece di ");
inline constexpr const char *VerifyTracks = N_("Il file scritto non ha una sola traccia");
inline constexpr const char *VerifyNotSplit = N_("Il file scritto non è di formato 1");

// A split that changed the order of a tick (behind "Tick " + tick).
inline constexpr const char *SplitReordered
    = N_(": un SysEx suona ora prima degli eventi di canale che lo precedevano");

inline constexpr const char *Crlf = "\r\n";

} // namespace trackfold::texts

#endif
