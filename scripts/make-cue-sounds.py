#!/usr/bin/env python3
"""Writes the cue sounds played before and after a recording: RecStart.wav
(two rising notes) and RecEnd.wav (the same notes falling), 22050 Hz 16-bit
mono. Each note fades in and out so that it does not click, and each sound
ends in a short silence that absorbs the output device's latency: the player
cuts a cue off at its own length, so the audible part must end earlier.

Usage: scripts/make-cue-sounds.py [OUTPUT_DIR]   (default: data/sounds)
"""
import math
import os
import struct
import sys

RATE = 22050
LEVEL = 0.35 * 32767
FADE_S = 0.012
GAP_S = 0.025
TAIL_S = 0.120
LOW_HZ, HIGH_HZ = 784.0, 1175.0  # a fifth apart


def note(freq, seconds):
    count = int(round(seconds * RATE))
    fade = int(round(FADE_S * RATE))
    out = []
    for i in range(count):
        edge = min(i, count - 1 - i)
        gain = 1.0 if edge >= fade else 0.5 - 0.5 * math.cos(math.pi * edge / fade)
        # A touch of the second harmonic makes the note less thin than a bare sine.
        value = math.sin(2 * math.pi * freq * i / RATE) + 0.25 * math.sin(4 * math.pi * freq * i / RATE)
        out.append(int(round(LEVEL / 1.25 * gain * value)))
    return out


def silence(seconds):
    return [0] * int(round(seconds * RATE))


def wav(samples):
    data = struct.pack("<%dh" % len(samples), *samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


SOUNDS = {
    "RecStart.wav": note(LOW_HZ, 0.080) + silence(GAP_S) + note(HIGH_HZ, 0.110) + silence(TAIL_S),
    "RecEnd.wav": note(HIGH_HZ, 0.080) + silence(GAP_S) + note(LOW_HZ, 0.110) + silence(TAIL_S),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "data", "sounds")
    os.makedirs(folder, exist_ok=True)
    for name, samples in SOUNDS.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(wav(samples))


if __name__ == "__main__":
    main()
