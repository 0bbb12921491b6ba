#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks trackfold-cli's output with an independent MIDI reader, mido.

Each input is converted with `trackfold-cli INPUT -o OUTPUT --quiet`; mido then
has to load the output as a type 0 file with one track whose events, at their
absolute times and in their order, are those of mido's own merge of the
input's tracks (merge_tracks keeps track order at a shared tick), less End of
Track, track name, MIDI port and channel prefix, plus the title track name at
tick 0 and one End of Track where the input's longest track ends. When the
input's channel and SysEx events go to two ports or more (MIDI port events, in
force in their own track), a port event comes before each one whose port is
not the last one written.

With --format 1 (the split) mido has to load a type 1 file with the input's
division: track 0 with the title and every meta and SysEx event of the input
in its order, then one track per channel, in channel order, holding exactly
that channel's events at their times and in their order (with two ports or
more, one track per port and channel, its port event at tick 0 after its
name); every track named at
tick 0 and ending where the input ends. Folded back by trackfold-cli, every
tick keeps the order of each channel's events and the SysEx among them, but
at the tick the split's warning names.

Inputs: the files named on the command line, files written by mido itself
(seeded random events, and set-up messages at the tick of the first note),
and (with --genmidi) two files of trackfold-genmidi, the second a humanised one
long enough to be merged in segments.
Run with Debian's interpreter, which has python3-mido: /usr/bin/python3.
"""

import argparse
import collections
import os
import random
import subprocess
import sys
import tempfile

import mido

TITLE = "Titolo del Brano Midi"
DROPPED_METAS = {"end_of_track", "track_name", "midi_port", "channel_prefix"}


def key(msg):
    """A message as comparable bytes (status restored, delta time left out)."""
    return tuple(msg.bytes())


def describe(msg_key):
    return " ".join("%02X" % b for b in msg_key[:24]) + (" ..." if len(msg_key) > 24 else "")


def end_time(midi):
    """The tick where the longest track ends."""
    return max((sum(msg.time for msg in track) for track in midi.tracks), default=0)


def events_by_tick(messages, skip_dropped):
    """Absolute time -> the list of events at that tick, in order."""
    per_tick = collections.defaultdict(list)
    now = 0
    for msg in messages:
        now += msg.time
        if skip_dropped and msg.is_meta and msg.type in DROPPED_METAS:
            continue
        per_tick[now].append(key(msg))
    return per_tick


def goes_to_port(msg):
    return not msg.is_meta and (msg.type == "sysex" or hasattr(msg, "channel"))


def merged_with_ports(source):
    """The input's events as (tick, port, message) in play order (time, then
    track, then file order), without the dropped metas; port is the one in
    force in the event's own track, None for an event that goes to none."""
    events = []
    for index, track in enumerate(source.tracks):
        port = 0
        for order, (now, msg) in enumerate(absolute(track)):
            if msg.is_meta and msg.type == "midi_port":
                port = msg.port
            if msg.is_meta and msg.type in DROPPED_METAS:
                continue
            events.append(((now, index, order), port if goes_to_port(msg) else None, msg))
    events.sort(key=lambda e: e[0])
    ports = {port for _, port, _ in events if port is not None}
    several = len(ports) >= 2
    return [(at[0], port if several else None, msg) for at, port, msg in events], several


def check_output(input_path, output_path):
    """Returns a list of failures (empty when the output is right)."""
    failures = []
    source = mido.MidiFile(input_path)
    try:
        result = mido.MidiFile(output_path)
    except Exception as exc:  # mido raises several kinds on a broken file
        return ["mido cannot read the output: %s" % exc]

    if result.type != 0:
        failures.append("type %d, expected 0" % result.type)
    if len(result.tracks) != 1:
        failures.append("%d tracks, expected 1" % len(result.tracks))
        return failures
    if result.ticks_per_beat != source.ticks_per_beat:
        failures.append("division %d, expected %d" % (result.ticks_per_beat, source.ticks_per_beat))

    track = result.tracks[0]
    if not track or not (track[0].is_meta and track[0].type == "track_name" and track[0].name == TITLE
                         and track[0].time == 0):
        failures.append("the first event is not the title %r at tick 0" % TITLE)
    if not track or not (track[-1].is_meta and track[-1].type == "end_of_track"):
        failures.append("the last event is not End of Track")
    elif sum(msg.time for msg in track) != end_time(source):
        failures.append("End of Track at tick %d, the input ends at %d"
                        % (sum(msg.time for msg in track), end_time(source)))

    got = events_by_tick(track, skip_dropped=False)
    # With two ports or more, a port event goes before each event whose port
    # is not the last one written.
    want = collections.defaultdict(list)
    last_port = None
    for now, port, msg in merged_with_ports(source)[0]:
        if port is not None and port != last_port:
            want[now].append(key(mido.MetaMessage("midi_port", port=port)))
            last_port = port
        want[now].append(key(msg))
    want[0].insert(0, key(mido.MetaMessage("track_name", name=TITLE)))
    want[end_time(source)].append(key(mido.MetaMessage("end_of_track")))

    mismatches = 0
    for tick in sorted(set(want) | set(got)):
        if want[tick] == got[tick]:
            continue
        mismatches += 1
        if mismatches <= 5:
            lines = ["tick %d differs" % tick]
            lines += ["  want %s" % describe(k) for k in want[tick][:6]]
            lines += ["  got  %s" % describe(k) for k in got[tick][:6]]
            failures.append("\n".join(lines))
    if mismatches > 5:
        failures.append("... %d ticks differ in all" % mismatches)
    return failures


def write_setup_files(folder):
    """Files whose set-up messages share the tick of the first note, where
    their order decides how the piece sounds. Returns their paths."""
    melody = [60, 64, 67, 72, 67, 64, 60]

    def notes(track, channel):
        for note in melody:
            track.append(mido.Message("note_on", channel=channel, note=note, velocity=90))
            track.append(mido.Message("note_off", channel=channel, note=note, velocity=0, time=192))

    setup = mido.MidiFile(type=1, ticks_per_beat=192)
    conductor = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=400000)])
    setup.tracks.append(conductor)
    for channel, program in ((0, 24), (1, 0)):
        track = mido.MidiTrack()
        track.append(mido.Message("control_change", channel=channel, control=0, value=0))
        track.append(mido.Message("program_change", channel=channel, program=program))
        track.append(mido.Message("control_change", channel=channel, control=7, value=30 + 60 * channel))
        track.append(mido.Message("control_change", channel=channel, control=10, value=20 + 80 * channel))
        for control, value in ((101, 0), (100, 0), (6, 12), (38, 0)):  # RPN 0: bend range
            track.append(mido.Message("control_change", channel=channel, control=control, value=value))
        track.append(mido.Message("pitchwheel", channel=channel, pitch=4096))
        notes(track, channel)
        setup.tracks.append(track)
    setup_path = os.path.join(folder, "setup_before_notes.mid")
    setup.save(setup_path)

    reset = mido.MidiFile(type=1, ticks_per_beat=192)
    reset.tracks.append(mido.MidiTrack([mido.Message("sysex", data=[0x7E, 0x7F, 0x09, 0x01])]))
    track = mido.MidiTrack()
    track.append(mido.Message("program_change", channel=0, program=24))
    track.append(mido.Message("control_change", channel=0, control=7, value=40))
    notes(track, 0)
    reset.tracks.append(track)
    reset_path = os.path.join(folder, "sysex_reset_then_setup.mid")
    reset.save(reset_path)
    return [setup_path, reset_path]


def is_channel(msg):
    return not msg.is_meta and msg.type != "sysex" and hasattr(msg, "channel")


def absolute(messages):
    now = 0
    for msg in messages:
        now += msg.time
        yield now, msg


def check_split(input_path, output_path, folded_path, warned_tick):
    """Returns the failures of a split (empty when it is right)."""
    failures = []
    source = mido.MidiFile(input_path, clip=False)
    try:
        result = mido.MidiFile(output_path, clip=False)
    except Exception as exc:
        return ["mido cannot read the split: %s" % exc]
    if result.type != 1:
        failures.append("type %d, expected 1" % result.type)
    if result.ticks_per_beat != source.ticks_per_beat:
        failures.append("division %d, expected %d" % (result.ticks_per_beat, source.ticks_per_beat))
    with_ports, several = merged_with_ports(source)
    merged = [(t, m) for t, _, m in with_ports]
    end = end_time(source)

    # A channel's track is that of its port too when there are two or more,
    # and starts with its port event.
    want_channels = collections.defaultdict(list)
    want_conductor = []
    for t, port, m in with_ports:
        if is_channel(m):
            route = (port or 0, m.channel)
            if several and route not in want_channels:
                want_channels[route].append((0, key(mido.MetaMessage("midi_port", port=port))))
            want_channels[route].append((t, key(m)))
        else:
            want_conductor.append((t, key(m)))
    channels = []
    for index, track in enumerate(result.tracks):
        events = list(absolute(track))
        if not events or events[0][1].type != "track_name" or events[0][0] != 0:
            failures.append("track %d is not named at tick 0" % index)
        if not events or events[-1][1].type != "end_of_track" or events[-1][0] != end:
            failures.append("track %d does not end at tick %d" % (index, end))
        body = [(t, key(m)) for t, m in events[1:-1]]
        found = {m.channel for _, m in events if is_channel(m)}
        if index == 0:
            if found:
                failures.append("track 0 holds channel events")
            if body != want_conductor:
                failures.append("track 0 does not hold the input's meta and SysEx events in order")
            continue
        if len(found) != 1:
            failures.append("track %d holds the channels %s" % (index, sorted(found)))
            continue
        channel = found.pop()
        port = next((m.port for _, m in events if m.is_meta and m.type == "midi_port"), 0) if several else 0
        channels.append((port, channel))
        if body != want_channels[(port, channel)]:
            failures.append("track %d does not hold channel %d's events as the input" % (index, channel + 1))
    if channels != sorted(want_channels):
        failures.append("tracks for channels %s, expected %s" % (channels, sorted(want_channels)))

    # Folded back: per tick and channel, the channel's events and the SysEx
    # among them come in the input's order.
    def per_channel_ticks(triples):
        out = collections.defaultdict(list)
        for t, p, m in triples:
            if m.is_meta:
                continue
            for c in ([m.channel] if is_channel(m) else range(16)):
                out[(t, p if several else 0, c)].append(key(m))
        return out

    def folded_ports(pairs):
        port = 0
        for t, m in pairs:
            if m.is_meta and m.type == "midi_port":
                port = m.port
            yield t, port, m
    folded = mido.MidiFile(folded_path, clip=False)
    want = per_channel_ticks(with_ports)
    got = per_channel_ticks(folded_ports(absolute(folded.tracks[0])))
    moved = sorted({k[0] for k in set(want) | set(got) if want[k] != got[k]})
    if moved and (warned_tick is None or moved[0] != warned_tick):
        failures.append("folded back, tick %d changed order (warned: %s)" % (moved[0], warned_tick))
    return failures


def check_split_of(cli, path, workdir, index):
    output = os.path.join(workdir, "split_%d.mid" % index)
    folded = os.path.join(workdir, "split_%d_folded.mid" % index)
    run = subprocess.run([cli, "-F", "1", "-o", output, path], capture_output=True, text=True)
    if run.returncode != 0:
        return ["trackfold-cli -F 1 exited with %d: %s" % (run.returncode, run.stderr)]
    warned = None
    for line in run.stderr.splitlines():
        if line.startswith("Tick "):
            warned = int(line.split()[1].rstrip(":"))
    subprocess.run([cli, "-q", "-o", folded, output], check=True)
    return check_split(path, output, folded, warned)


def write_mido_file(path, seed):
    """A type 1 file written by mido (running status, its own encoder) from seeded random events."""
    rng = random.Random(seed)
    midi = mido.MidiFile(type=1, ticks_per_beat=384)
    conductor = mido.MidiTrack()
    conductor.append(mido.MetaMessage("track_name", name="Conduttore"))
    conductor.append(mido.MetaMessage("time_signature", numerator=3, denominator=4))
    for _ in range(40):
        conductor.append(mido.MetaMessage("set_tempo", tempo=rng.randint(300000, 900000),
                                          time=rng.choice([0, 96, 384])))
    conductor.append(mido.MetaMessage("marker", text="Fine", time=0))
    midi.tracks.append(conductor)
    for channel in range(5):
        track = mido.MidiTrack()
        track.append(mido.MetaMessage("track_name", name="Traccia %d" % channel))
        track.append(mido.MetaMessage("midi_port", port=channel % 2))
        if channel % 2:
            track.append(mido.MetaMessage("channel_prefix", channel=channel))
        track.append(mido.Message("program_change", channel=channel, program=rng.randint(0, 127)))
        for _ in range(rng.randint(150, 400)):
            delta = rng.choice([0, 0, 0, 48, 96, 96, 192, 384, 200, 20000])
            kind = rng.random()
            if kind < 0.55:
                msg = mido.Message("note_on", channel=channel, note=rng.randint(30, 90),
                                   velocity=rng.choice([0, 64, 100]))
            elif kind < 0.65:
                msg = mido.Message("note_off", channel=channel, note=rng.randint(30, 90), velocity=64)
            elif kind < 0.78:
                msg = mido.Message("control_change", channel=channel, control=rng.randint(0, 119),
                                   value=rng.randint(0, 127))
            elif kind < 0.84:
                msg = mido.Message("pitchwheel", channel=channel, pitch=rng.randint(-8192, 8191))
            elif kind < 0.88:
                msg = mido.Message("aftertouch", channel=channel, value=rng.randint(0, 127))
            elif kind < 0.91:
                msg = mido.Message("polytouch", channel=channel, note=rng.randint(0, 127),
                                   value=rng.randint(0, 127))
            elif kind < 0.94:
                msg = mido.Message("sysex", data=[rng.randint(0, 127) for _ in range(rng.choice([3, 200]))])
            elif kind < 0.97:
                words = ["canta", "piano", "la", "sera", "sul", "mare", "vento", "lontano"]
                text = " ".join(rng.choice(words) for _ in range(rng.choice([1, 40])))
                msg = mido.MetaMessage(rng.choice(["lyrics", "text"]), text=text)
            elif kind < 0.985:
                msg = mido.MetaMessage("track_name", name="Nome %d" % rng.randint(0, 9))
            else:
                msg = mido.MetaMessage("cue_marker", text="Attacco")
            msg.time = delta
            track.append(msg)
        midi.tracks.append(track)
    midi.save(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="path of trackfold-cli")
    parser.add_argument("--genmidi", help="path of trackfold-genmidi, to add a generated benchmark-like file")
    parser.add_argument("--workdir", help="folder for the generated and converted files (default: a temporary one)")
    parser.add_argument("inputs", nargs="*", help="MIDI files to convert and check")
    args = parser.parse_args()

    workdir = args.workdir or tempfile.mkdtemp(prefix="trackfold-mido-")
    os.makedirs(workdir, exist_ok=True)

    inputs = list(args.inputs)
    mido_input = os.path.join(workdir, "mido_random.mid")
    write_mido_file(mido_input, seed=20240611)
    inputs.append(mido_input)
    inputs += write_setup_files(workdir)
    if args.genmidi:
        generated = os.path.join(workdir, "generated.mid")
        subprocess.run([args.genmidi, generated, "--tracks", "12", "--events-per-track", "2500", "--seed", "5"],
                       check=True, stdout=subprocess.DEVNULL)
        inputs.append(generated)
        # Long enough to be merged in segments on every core.
        performance = os.path.join(workdir, "performance.mid")
        subprocess.run([args.genmidi, performance, "--tracks", "12", "--events-per-track", "11000",
                        "--seed", "6", "--humanised"], check=True, stdout=subprocess.DEVNULL)
        inputs.append(performance)

    failed = 0
    for index, path in enumerate(inputs):
        output = os.path.join(workdir, "out_%d_.mid" % index)
        if os.path.exists(output):
            os.remove(output)
        run = subprocess.run([args.cli, path, "-o", output, "--quiet"], capture_output=True, text=True)
        if run.returncode != 0 or not os.path.exists(output):
            print("FAIL %s: trackfold-cli exited with %d\n%s%s" % (path, run.returncode, run.stdout, run.stderr))
            failed += 1
            continue
        failures = check_output(path, output) + check_split_of(args.cli, path, workdir, index)
        if failures:
            failed += 1
            print("FAIL %s" % path)
            for failure in failures:
                print("  " + failure.replace("\n", "\n  "))
        else:
            events = sum(len(t) for t in mido.MidiFile(output).tracks)
            print("ok   %s (%d events in one track; split checked)" % (path, events))
    if failed:
        print("%d of %d files failed" % (failed, len(inputs)))
        return 1
    print("all %d files load in mido as type 0 with the input's events in play order, and split" % len(inputs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
