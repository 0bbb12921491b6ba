// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CLITEXTS_H
#define TRACKFOLD_CLITEXTS_H

#include "i18n.h"

// The texts trackfold-cli shows besides the engine's own (engine/texts/texts.h):
// Italian source texts (msgids) of the catalogue "trackfold", shown through
// tr(). Those that go behind or before another piece keep their spaces and
// punctuation.
namespace trackfold::clitexts {

inline constexpr const char *Usage = N_("Uso: trackfold-cli [opzioni] INPUT...");
inline constexpr const char *HelpHint = N_("Per l'aiuto: trackfold-cli --help\n");
// The help after the usage line.
inline constexpr const char *Help
    = N_(R"(Converte Standard MIDI File a più tracce (formato 1) in file a una sola
traccia (formato 0), oppure, con -F 1, divide un file in una traccia per
canale (formato 1).

Ogni INPUT viene salvato come INPUT senza l'estensione .mid, .midi, .rmi o
.kar (maiuscole o minuscole) seguito da "_.mid" (song.mid -> song_.mid), ma
un .kar resta .kar (song.kar -> song_.kar); con un'altra estensione o senza,
senza gli ultimi quattro caratteri seguito da "_.mid"; oppure nel file
indicato con -o. Un file RMID (RIFF) viene convertito nel midifile che contiene.
Una cartella converte ogni file *.mid, *.midi, *.kar e *.rmi che contiene; i
nomi che finiscono in "_.mid" o "_.kar" sono risultati precedenti e saltati.
"-" come INPUT legge lo standard input (e vuole -o).

Opzioni:
  -o, --output FILE      salva in FILE (con un solo INPUT); "-" è lo standard
                         output, e il resoconto va sullo standard error
  -d, --output-dir DIR   salva i file convertiti in DIR (con -r mantiene le
                         sottocartelle; crea le cartelle che mancano)
  -F, --format N         il formato del file scritto: 0 (predefinito) unisce
                         tutte le tracce in una; 1 mette meta eventi e SysEx
                         nella traccia 0 e ogni canale in una traccia sua
  -n, --no-clobber       non sostituisce mai un file esistente (lo salta)
  -r, --recursive        converte anche i file delle sottocartelle
  -j, --jobs N           converte N file alla volta; un solo file lungo
                         usa N processori (predefinito: il numero di
                         processori)
      --table            stampa la griglia finale (testo separato da tab)
                         sullo standard output
      --verify           rilegge ogni file scritto e controlla che contenga
                         ogni evento al suo tempo, nell'ordine, e la fine
                         della traccia dove finisce l'input ("Verifica: OK")
      --byte-order       ordina gli eventi di uno stesso tick per i loro byte
                         (l'ordine di prima) invece che per traccia; può
                         cambiare il suono del file
      --keep-title       dà alla traccia unita il titolo dell'input (il primo
                         nome della sua prima traccia), quando ne ha uno,
                         invece di "Titolo del Brano Midi"
  -q, --quiet            stampa solo gli errori
  -v, --verbose          nomina anche i file saltati
  -h, --help             mostra questo aiuto
  -V, --version          mostra la versione

I dati (--table, -o -) vanno sullo standard output; resoconti, riepilogo ed
errori sullo standard error.

Stato di uscita: 0 tutti convertiti, 1 almeno un errore, 2 uso errato,
130 interrotto (SIGINT), 143 terminato (SIGTERM).

Esempi:
  trackfold-cli song.mid                 scrive song_.mid
  trackfold-cli -F 1 song.mid            scrive song_.mid, una traccia per canale
  trackfold-cli -r -d convertiti ~/midi  una raccolta intera
  cat a.mid | trackfold-cli -o - - > b.mid
)");

// Wrong usage; an option's name ("-o/--output", "--table") goes before these.
inline constexpr const char *GivenTwice = N_(" indicato più volte");
inline constexpr const char *NeedsArgument = N_(" vuole un argomento");
inline constexpr const char *TakesNoArgument = N_(" non vuole argomenti");
// Before the highest number and ": " with the value given.
inline constexpr const char *JobsRange = N_("-j/--jobs vuole un numero da 1 a ");
// Before the value given.
inline constexpr const char *FormatValue = N_("-F/--format vuole 0 o 1: ");
inline constexpr const char *ByteOrderWithSplit = N_("--byte-order vale solo con --format 0");
// Before the letter, and before the argument as given.
inline constexpr const char *UnknownOption = N_("opzione sconosciuta: -");
inline constexpr const char *UnknownOrAmbiguous = N_("opzione sconosciuta o ambigua: ");
inline constexpr const char *NoInput = N_("nessun INPUT");
inline constexpr const char *OutputWithOutputDir = N_("-o e -d non vanno insieme");
inline constexpr const char *OutputForOneInput = N_("-o vale per un solo INPUT");
inline constexpr const char *StandardInputNeedsOutput
    = N_("lo standard input (-) vuole -o FILE oppure -o -");
inline constexpr const char *TableAndStandardOutput
    = N_("--table e -o - scriverebbero entrambi sullo standard output");
// Before the folder.
inline constexpr const char *OutputForFolder = N_("-o non vale per una cartella: ");

// A folder's remarks: after its number of files, and after "folder: ".
inline constexpr const char *InSubfolders = N_(" file nelle sottocartelle: usare -r");
inline constexpr const char *NothingToConvert = N_("nessun midifile da convertire");
// Between an output and the input that takes it first.
inline constexpr const char *SharedOutput = N_(" è già il file di uscita di ");
// After the name of an earlier output (-v).
inline constexpr const char *SkippedEarlierOutput = N_(": saltato, il nome finisce in \"_.mid\"");

// The batch's summary: "Convertiti: N, non riusciti: N, saltati: N, tempo: mm:ss".
inline constexpr const char *SummaryConverted = N_("Convertiti: ");
inline constexpr const char *SummaryFailed = N_(", non riusciti: ");
inline constexpr const char *SummarySkipped = N_(", saltati: ");
inline constexpr const char *SummaryTime = N_(", tempo: ");
// Before the system's reason.
inline constexpr const char *CannotWriteTable = N_("Impossibile scrivere la tabella: ");

} // namespace trackfold::clitexts

#endif
