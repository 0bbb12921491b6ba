<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="it_IT">
<context>
    <name>EventDescription</name>
    <message>
        <source>canale </source>
        <translation>channel </translation>
    </message>
    <message>
        <source>nota </source>
        <translation>note </translation>
    </message>
    <message>
        <source>Modulazione</source>
        <translation>Modulation</translation>
    </message>
    <message>
        <source>Pedale</source>
        <translation>Foot pedal</translation>
    </message>
    <message>
        <source>Tempo di portamento</source>
        <translation>Portamento time</translation>
    </message>
    <message>
        <source>Bilanciamento</source>
        <translation>Balance</translation>
    </message>
    <message>
        <source>Espressione</source>
        <translation>Expression</translation>
    </message>
    <message>
        <source>Sostenuto</source>
        <translation>Sostenuto</translation>
    </message>
    <message>
        <source>Pedale soft</source>
        <translation>Soft pedal</translation>
    </message>
    <message>
        <source>Riverbero</source>
        <translation>Reverb</translation>
    </message>
    <message>
        <source>,</source>
        <comment>decimal separator</comment>
        <translation>.</translation>
    </message>
    <message>
        <source>Numero di sequenza </source>
        <translation>Sequence number </translation>
    </message>
    <message>
        <source>Testo: </source>
        <translation>Text: </translation>
    </message>
    <message>
        <source>Copyright: </source>
        <translation>Copyright: </translation>
    </message>
    <message>
        <source>Nome traccia: </source>
        <translation>Track name: </translation>
    </message>
    <message>
        <source>Strumento: </source>
        <translation>Instrument: </translation>
    </message>
    <message>
        <source>Testo cantato: </source>
        <translation>Lyric: </translation>
    </message>
    <message>
        <source>Marker: </source>
        <translation>Marker: </translation>
    </message>
    <message>
        <source>Cue point: </source>
        <translation>Cue point: </translation>
    </message>
    <message>
        <source>Prefisso di canale, canale </source>
        <translation>Channel prefix, channel </translation>
    </message>
    <message>
        <source>Porta MIDI </source>
        <translation>MIDI port </translation>
    </message>
    <message>
        <source>Fine traccia</source>
        <translation>End of track</translation>
    </message>
    <message>
        <source>Tempo 0 µs/quarto</source>
        <translation>Tempo 0 µs/quarter note</translation>
    </message>
    <message>
        <source>Tempo </source>
        <translation>Tempo </translation>
    </message>
    <message>
        <source> µs/quarto (</source>
        <translation> µs/quarter note (</translation>
    </message>
    <message>
        <source>Inizio SMPTE </source>
        <translation>SMPTE offset </translation>
    </message>
    <message>
        <source>Indicazione di tempo </source>
        <translation>Time signature </translation>
    </message>
    <message>
        <source> clock per metronomo, </source>
        <translation> clocks per click, </translation>
    </message>
    <message>
        <source> biscrome per quarto</source>
        <translation> 32nd notes per quarter note</translation>
    </message>
    <message>
        <source>Do bemolle</source>
        <translation>C flat</translation>
    </message>
    <message>
        <source>Sol bemolle</source>
        <translation>G flat</translation>
    </message>
    <message>
        <source>Re bemolle</source>
        <translation>D flat</translation>
    </message>
    <message>
        <source>La bemolle</source>
        <translation>A flat</translation>
    </message>
    <message>
        <source>Mi bemolle</source>
        <translation>E flat</translation>
    </message>
    <message>
        <source>Si bemolle</source>
        <translation>B flat</translation>
    </message>
    <message>
        <source>Fa</source>
        <translation>F</translation>
    </message>
    <message>
        <source>Do</source>
        <translation>C</translation>
    </message>
    <message>
        <source>Sol</source>
        <translation>G</translation>
    </message>
    <message>
        <source>Re</source>
        <translation>D</translation>
    </message>
    <message>
        <source>La</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Mi</source>
        <translation>E</translation>
    </message>
    <message>
        <source>Si</source>
        <translation>B</translation>
    </message>
    <message>
        <source>Fa diesis</source>
        <translation>F sharp</translation>
    </message>
    <message>
        <source>Do diesis</source>
        <translation>C sharp</translation>
    </message>
    <message>
        <source>Sol diesis</source>
        <translation>G sharp</translation>
    </message>
    <message>
        <source>Re diesis</source>
        <translation>D sharp</translation>
    </message>
    <message>
        <source>La diesis</source>
        <translation>A sharp</translation>
    </message>
    <message>
        <source>Tonalità </source>
        <translation>Key </translation>
    </message>
    <message>
        <source> minore</source>
        <translation> minor</translation>
    </message>
    <message>
        <source> maggiore</source>
        <translation> major</translation>
    </message>
    <message>
        <source>Dati proprietari del sequencer, </source>
        <translation>Sequencer-specific data, </translation>
    </message>
    <message>
        <source> byte</source>
        <translation> bytes</translation>
    </message>
    <message>
        <source>Meta evento di tipo </source>
        <translation>Meta event of type </translation>
    </message>
    <message>
        <source>Intestazione: formato </source>
        <translation>Header: format </translation>
    </message>
    <message>
        <source> traccia, </source>
        <translation> track, </translation>
    </message>
    <message>
        <source> tracce, </source>
        <translation> tracks, </translation>
    </message>
    <message>
        <source> fotogrammi/s, </source>
        <translation> frames/s, </translation>
    </message>
    <message>
        <source> tick per fotogramma</source>
        <translation> ticks per frame</translation>
    </message>
    <message>
        <source> tick per quarto</source>
        <translation> ticks per quarter note</translation>
    </message>
    <message>
        <source>, velocità </source>
        <translation>, velocity </translation>
    </message>
    <message>
        <source> (come Note Off)</source>
        <translation> (as Note Off)</translation>
    </message>
    <message>
        <source>Aftertouch polifonico, </source>
        <translation>Polyphonic aftertouch, </translation>
    </message>
    <message>
        <source>, pressione </source>
        <translation>, pressure </translation>
    </message>
    <message>
        <source>, controller </source>
        <translation>, controller </translation>
    </message>
    <message>
        <source>, valore </source>
        <translation>, value </translation>
    </message>
    <message>
        <source>, programma </source>
        <translation>, program </translation>
    </message>
    <message>
        <source>Aftertouch di canale, </source>
        <translation>Channel aftertouch, </translation>
    </message>
    <message>
        <source>SysEx di continuazione, </source>
        <translation>SysEx continuation, </translation>
    </message>
    <message>
        <source>Song Position, posizione </source>
        <translation>Song Position, position </translation>
    </message>
    <message>
        <source>Song Select, brano </source>
        <translation>Song Select, song </translation>
    </message>
    <message>
        <source>Inizio della traccia</source>
        <translation>Start of the track</translation>
    </message>
</context>
<context>
    <name>PianoRoll</name>
    <message>
        <source>Piano roll</source>
        <translation>Piano roll</translation>
    </message>
    <message>
        <source>Tracce del piano roll</source>
        <translation>Piano roll tracks</translation>
    </message>
    <message>
        <source>Traccia %1</source>
        <translation>Track %1</translation>
    </message>
    <message>
        <source>Traccia %1: %2</source>
        <translation>Track %1: %2</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>valore</source>
        <translation>value</translation>
    </message>
    <message>
        <source>Opzioni di Qt (vedere la documentazione di QApplication):</source>
        <translation>Qt options (see the QApplication documentation):</translation>
    </message>
    <message>
        <source>Converte un midifile multitraccia (formato 1) in un midifile a traccia singola (formato 0).
Per convertire senza finestra, anche molti file insieme: trackfold-cli.</source>
        <translation>Converts a multi-track MIDI file (format 1) into a single-track MIDI file (format 0).
To convert without a window, many files at once too: trackfold-cli.</translation>
    </message>
    <message>
        <source>Stampa il percorso del midifile che la finestra propone all&apos;avvio ed esce.</source>
        <translation>Print the path of the MIDI file the window proposes at start, and exit.</translation>
    </message>
    <message>
        <source>midifile</source>
        <translation>midifile</translation>
    </message>
    <message>
        <source>Il midifile da convertire (facoltativo).</source>
        <translation>The MIDI file to convert (optional).</translation>
    </message>
    <message>
        <source>[midifile]</source>
        <translation>[midifile]</translation>
    </message>
    <message>
        <source>Per l&apos;aiuto: trackfold --help
</source>
        <translation>For help: trackfold --help
</translation>
    </message>
    <message>
        <source>un solo midifile alla volta (ricevuti %1)</source>
        <translation>one MIDI file at a time (%1 given)</translation>
    </message>
    <message>
        <source>nessuno schermo disponibile (DISPLAY e WAYLAND_DISPLAY non sono impostate); per convertire senza finestra: trackfold-cli</source>
        <translation>no display available (neither DISPLAY nor WAYLAND_DISPLAY is set); to convert without a window: trackfold-cli</translation>
    </message>
</context>
<context>
    <name>trackfold::EventTableModel</name>
    <message>
        <source>, traccia </source>
        <translation>, track </translation>
    </message>
</context>
<context>
    <name>trackfold::ParamStr</name>
    <message>
        <source>Nome Midifile</source>
        <translation>MIDI file name</translation>
    </message>
    <message>
        <source>Nuovo Nome</source>
        <translation>New name</translation>
    </message>
    <message>
        <source>&amp;Cerca</source>
        <translation>&amp;Browse</translation>
    </message>
    <message>
        <source>&amp;Esci</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Converti e salva</source>
        <translation>&amp;Convert and save</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Midifile</source>
        <translation>MIDI files</translation>
    </message>
    <message>
        <source>Tutti i file</source>
        <translation>All files</translation>
    </message>
    <message>
        <source>&amp;Formato</source>
        <translation>&amp;Format</translation>
    </message>
    <message>
        <source>0: una traccia</source>
        <translation>0: one track</translation>
    </message>
    <message>
        <source>1: una traccia per canale</source>
        <translation>1: one track per channel</translation>
    </message>
    <message>
        <source>Mantieni il &amp;titolo</source>
        <translation>Keep the &amp;title</translation>
    </message>
    <message>
        <source>&amp;Annulla</source>
        <translation>C&amp;ancel</translation>
    </message>
    <message>
        <source>Conversione annullata</source>
        <translation>Conversion cancelled</translation>
    </message>
</context>
</TS>
