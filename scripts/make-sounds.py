#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the program's default event sounds (data/sounds/*.wav): short tones made here from sine
waves, so that nothing of anybody else's is shipped. Run again after changing a tone; the files are
kept in the repository so that building needs no Python."""
import math
import os
import struct
import wave

RATE = 22050

# event key -> list of (frequency in Hz, seconds); 0 Hz is a pause.
SOUNDS = {
    "join_network": [(523, 0.08), (659, 0.08), (784, 0.12)],
    "leave_network": [(784, 0.08), (659, 0.08), (523, 0.12)],
    "chat_line": [(880, 0.05)],
    "message": [(988, 0.09), (0, 0.04), (988, 0.09)],
    "mass_message": [(740, 0.09), (0, 0.03), (988, 0.09), (0, 0.03), (740, 0.09)],
    "topic_change": [(587, 0.1), (698, 0.14)],
    "confirm": [(1175, 0.06)],
    "bell": [(1319, 0.12), (0, 0.05), (1319, 0.12), (0, 0.05), (1319, 0.2)],
}


def samples(tones):
    for frequency, seconds in tones:
        count = int(RATE * seconds)
        fade = max(1, int(RATE * 0.01))
        for i in range(count):
            if frequency == 0:
                yield 0
                continue
            envelope = min(1.0, i / fade, (count - i) / fade)
            yield int(0.35 * 32767 * envelope * math.sin(2 * math.pi * frequency * i / RATE))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sounds")
    os.makedirs(out, exist_ok=True)
    for name, tones in SOUNDS.items():
        with wave.open(os.path.join(out, name + ".wav"), "wb") as f:
            f.setnchannels(1)
            f.setsampwidth(2)
            f.setframerate(RATE)
            f.writeframes(b"".join(struct.pack("<h", s) for s in samples(tones)))


if __name__ == "__main__":
    main()
