// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TEXTS_H
#define TRACKFOLD_TEXTS_H

// The engine's user-visible texts, shared by the engine, its callers and tests.
namespace trackfold::texts {

inline constexpr const char *AppName = "Trackfold";
inline constexpr const char *Version = "1.00";

// Status captions of the conversion, in the order they appear.
inline constexpr const char *Analysing = "Analisi Midifile";
inline constexpr const char *ReadingTracks = "Lettura Tracce";
inline constexpr const char *SortingGrid = "Ordinamento Griglia";
inline constexpr const char *InsertingDeltas = "Inserimento dei Valori di Delta Time relativi";
inline constexpr const char *RestoringRunningStatus
    = "Ripristino, quando possibile, del Running Status";
inline constexpr const char *BuildingOutput
    = "Conversione Esadecimale-Decimale e costruzione txMIDI0";

// Grid headings.
inline constexpr const char *HeadingAbsolute = "DT assoluto";
inline constexpr const char *HeadingDelta = "DT relativo";
inline constexpr const char *HeadingData = "Dati Midi";

// The track name every output carries.
inline constexpr const char *Title = "Titolo del Brano Midi";

// Reader warnings (behind "Pos." + position + CRLF).
inline constexpr const char *UnknownValue = " - Valore sconosciuto";
inline constexpr const char *IncompleteEvent = "Evento incompleto - fine del file inattesa";
inline constexpr const char *TimeTooLarge
    = "Tempo assoluto troppo grande - Valore non rappresentabile";
inline constexpr const char *InvalidHeader = "Intestazione del midifile non valida";
inline constexpr const char *FileTooLarge = "Midifile troppo grande";
inline constexpr const char *Format2 = "Midifile di formato 2 non convertibile";
// Merge warning (behind "Riga " + row + CRLF).
inline constexpr const char *DeltaTooLarge
    = "Delta time troppo grande - Valore non rappresentabile";

// Messages of the callers.
inline constexpr const char *MissingInput = "Il midifile non esiste";
inline constexpr const char *MissingInputTitle = "Midifile inesistente";
inline constexpr const char *ConversionFailed = "Impossibile leggere il file";
inline constexpr const char *ReadErrorTitle = "Errore Lettura Midifile";
inline constexpr const char *CannotOpen = "Impossibile aprire il midifile";
inline constexpr const char *CannotSave = "Impossibile salvare il file";
inline constexpr const char *WriteErrorTitle = "Errore Scrittura Midifile";

// Status line report pieces: "Righe: N      Tempo di elab.: mm:ss      name      size bytes".
inline constexpr const char *ReportRows = "Righe: ";
inline constexpr const char *ReportTime = "      Tempo di elab.: ";
inline constexpr const char *ReportGap = "      ";
inline constexpr const char *Bytes = " bytes";

// Checking a written file against its conversion.
inline constexpr const char *VerifyOk = "Verifica: OK";
inline constexpr const char *VerifyFailed = "Verifica non riuscita";
inline constexpr const char *VerifyMissing = "Evento mancante nel file scritto";
inline constexpr const char *VerifyExtra = "Evento in più nel file scritto";
inline constexpr const char *VerifyTime = ": tempo ";
inline constexpr const char *VerifyData = ", dati ";
inline constexpr const char *VerifyEndOfTrack = "Fine della traccia nel file scritto al tempo ";
inline constexpr const char *VerifyEndExpected = " invece di ";
inline constexpr const char *VerifyTracks = "Il file scritto non ha una sola traccia";

inline constexpr const char *Crlf = "\r\n";

} // namespace trackfold::texts

#endif
