// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_UITEXTS_H
#define TRACKFOLD_UITEXTS_H

#include <QtGlobal>

// Texts of the window that the engine never shows; the engine's own texts live
// in engine/texts/texts.h. Shared by the window and its tests. The marked ones are
// Italian source texts of the window's translation (context trackfold::ParamStr)
// and are shown through ParamStr::tr().
namespace trackfold::uitexts {

// Captions of the controls; '&' marks the access key.
inline constexpr const char *InputLabel = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Nome Midifile");
inline constexpr const char *OutputLabel = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Nuovo Nome");
inline constexpr const char *Browse = QT_TRANSLATE_NOOP("trackfold::ParamStr", "&Cerca");
inline constexpr const char *Exit = QT_TRANSLATE_NOOP("trackfold::ParamStr", "&Esci");
inline constexpr const char *Convert
    = QT_TRANSLATE_NOOP("trackfold::ParamStr", "&Converti e salva");
// The format of the written file: 0 folds the tracks into one, 1 splits.
inline constexpr const char *FormatLabel = QT_TRANSLATE_NOOP("trackfold::ParamStr", "&Formato");
inline constexpr const char *Format0 = QT_TRANSLATE_NOOP("trackfold::ParamStr", "0: una traccia");
inline constexpr const char *Format1
    = QT_TRANSLATE_NOOP("trackfold::ParamStr", "1: una traccia per canale");
// The fold's track name: the input's own title rather than the fixed one.
inline constexpr const char *KeepTitle
    = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Mantieni il &titolo");

// While a long conversion runs: the button that stops it, and the status
// line once it has stopped.
inline constexpr const char *Cancel = QT_TRANSLATE_NOOP("trackfold::ParamStr", "&Annulla");
inline constexpr const char *Cancelled
    = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Conversione annullata");

// The open dialog: its title, the two filter entries and the default suffix.
inline constexpr const char *OpenTitle = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Open");
inline constexpr const char *FilterMidi = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Midifile");
inline constexpr const char *FilterMidiPattern = "*.mid";
inline constexpr const char *FilterAll = QT_TRANSLATE_NOOP("trackfold::ParamStr", "Tutti i file");
inline constexpr const char *FilterAllPattern = "*.*";
inline constexpr const char *DefaultSuffix = "mid";

// Default paths below the documents folder.
inline constexpr const char *DefaultInput = "/Trackfold/Midi_F1.mid";
inline constexpr const char *DefaultOutput = "/Trackfold/Midi_F1_.mid";
// Ending that replaces the last four characters of a chosen input ("song.mid" -> "song_.mid").
// Between the file name and its size in the start-up status line.
inline constexpr const char *NameSizeGap = ":  ";

// The piano roll and its legend, translated in the context RollContext
// (QCoreApplication::translate). %1 is the track chunk counted from 1, %2 its name.
inline constexpr const char *RollContext = "PianoRoll";
inline constexpr const char *RollName = QT_TRANSLATE_NOOP("PianoRoll", "Piano roll");
inline constexpr const char *LegendName = QT_TRANSLATE_NOOP("PianoRoll", "Tracce del piano roll");
inline constexpr const char *LegendTrack = QT_TRANSLATE_NOOP("PianoRoll", "Traccia %1");
inline constexpr const char *LegendNamedTrack = QT_TRANSLATE_NOOP("PianoRoll", "Traccia %1: %2");

} // namespace trackfold::uitexts

#endif
