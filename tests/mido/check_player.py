#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks that converted files sound like their inputs, with a real synthesizer.

TiMidity++ renders each input and its conversion to WAV with the free patch
set; the audio data must be identical. So must the split of each input and of
its conversion (--format 1, one track per channel), unless the split warned of
a tick whose order it changed. The conversion with --byte-order (ties ordered
by their bytes) must sound different for at least one of the files, which
shows the check can fail.

A generated file addresses two ports (meta event FF 21), one instrument on
channel 1 of each: it renders differently without its port events, so its
fold and split must keep every event's port.

Inputs: the files named on the command line and the set-up files of
check_mido.py. Exits 77 (skipped) when timidity or freepats is missing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_mido import write_setup_files  # noqa: E402

PATCHES = "/etc/timidity/freepats.cfg"
SKIPPED = 77


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def two_port_file(ports_in_tracks, with_ports=True):
    """A Format 1 file: a tempo track, then one track for each (port, program), all on channel 1."""
    tracks = [[(0, b"\xff\x51\x03\x07\xa1\x20")]]
    for port, program, key in ports_in_tracks:
        events = [(0, b"\xff\x21\x01" + bytes([port]))] if with_ports else []
        events.append((0, bytes([0xC0, program])))
        for step in range(8):
            events.append((0 if step == 0 else 48, bytes([0x90, key + step, 100])))
            events.append((48, bytes([0x80, key + step, 0])))
        tracks.append(events)
    chunks = b""
    for events in tracks:
        data = b"".join(vlq(delta) + event for delta, event in events) + b"\x00\xff\x2f\x00"
        chunks += b"MTrk" + len(data).to_bytes(4, "big") + data
    return b"MThd" + (6).to_bytes(4, "big") + b"\x00\x01" + len(tracks).to_bytes(2, "big") + b"\x00\x60" + chunks


def write_port_files(workdir):
    """Writes the two-port file; returns its path and that of the same file without port events, as lists."""
    layouts = {"ports": [(0, 0, 60), (1, 40, 48)]}
    paths, stripped = [], []
    for name, layout in layouts.items():
        for kind, with_ports in ((paths, True), (stripped, False)):
            path = os.path.join(workdir, "%s%s.mid" % (name, "" if with_ports else "_none"))
            with open(path, "wb") as out:
                out.write(two_port_file(layout, with_ports))
            kind.append(path)
    return paths, stripped


def render(midi_path, wav_path):
    subprocess.run(["timidity", "-c", PATCHES, "-s", "44100", "-Ow", "--output-stereo", "--output-16bit",
                    "--output-signed", "-o", wav_path, midi_path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(wav_path, "rb") as wav:
        data = wav.read()
    # The samples follow the "data" chunk header.
    at = data.find(b"data")
    return data[at + 8:] if at >= 0 else data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="path of trackfold-cli")
    parser.add_argument("--workdir", help="folder for the generated, converted and rendered files")
    parser.add_argument("inputs", nargs="*", help="MIDI files to convert and render")
    args = parser.parse_args()

    if not shutil.which("timidity") or not os.path.exists(PATCHES):
        print("skipped: timidity or freepats is not installed (apt-get install timidity freepats)")
        return SKIPPED

    workdir = args.workdir or tempfile.mkdtemp(prefix="trackfold-player-")
    os.makedirs(workdir, exist_ok=True)
    port_files, without_ports = write_port_files(workdir)
    inputs = list(args.inputs) + write_setup_files(workdir) + port_files

    failed = 0
    # Without their port events the files must sound different, or keeping
    # the ports would not be checked.
    for index, (path, stripped) in enumerate(zip(port_files, without_ports)):
        if render(path, os.path.join(workdir, "ports_%d.wav" % index)) == render(
                stripped, os.path.join(workdir, "ports_%d_none.wav" % index)):
            print("FAIL: %s sounds the same without its port events" % path)
            failed += 1
    byte_order_differs = []
    for index, path in enumerate(inputs):
        original = render(path, os.path.join(workdir, "in_%d.wav" % index))
        for name, options in (("track", []), ("bytes", ["--byte-order"])):
            output = os.path.join(workdir, "out_%d_%s.mid" % (index, name))
            subprocess.run([args.cli, "-q", *options, "-o", output, path], check=True)
            converted = render(output, os.path.join(workdir, "out_%d_%s.wav" % (index, name)))
            same = converted == original
            if name == "track":
                print("%s %s (%d bytes of audio)" % ("ok  " if same else "FAIL", path, len(original)))
                failed += 0 if same else 1
            elif not same:
                byte_order_differs.append(path)
        # The split of the input and of its conversion to format 0.
        folded = os.path.join(workdir, "out_%d_track.mid" % index)
        for name, source in (("split", path), ("split0", folded)):
            output = os.path.join(workdir, "out_%d_%s.mid" % (index, name))
            report = subprocess.run([args.cli, "-F", "1", "-o", output, source], check=True,
                                    stderr=subprocess.PIPE, text=True).stderr
            if "Tick " in report:
                print("warned %s %s" % (name, path))
                continue
            same = render(output, os.path.join(workdir, "out_%d_%s.wav" % (index, name))) == original
            print("%s %s %s" % ("ok  " if same else "FAIL", name, path))
            failed += 0 if same else 1
    if not byte_order_differs:
        print("FAIL: no --byte-order conversion sounds different, so this check could not fail")
        failed += 1
    else:
        print("--byte-order sounds different for: %s" % ", ".join(byte_order_differs))
    if failed:
        return 1
    print("all conversions and splits of %d files render identical audio to their inputs" % len(inputs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
