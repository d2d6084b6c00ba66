#!/usr/bin/env python3
"""Writes the chromatograph's readiness and alarm sounds into share/Sound:
"ready.wav" (two rising tones) and "error.wav" (an alternating two-tone
signal, played in a loop while a fault stands). 22050 Hz, 16-bit mono."""
import math
import pathlib
import struct
import sys
import wave

RATE = 22050


def tones(parts):
    frames = bytearray()
    for freq, seconds in parts:
        n = int(RATE * seconds)
        for i in range(n):
            # Short fades keep the tones free of clicks.
            fade = min(1.0, i / (0.01 * RATE), (n - i) / (0.01 * RATE))
            v = 0.5 * fade * math.sin(2 * math.pi * freq * i / RATE) if freq else 0.0
            frames += struct.pack('<h', int(v * 32767))
    return bytes(frames)


def write(path, data):
    with wave.open(str(path), 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else \
        pathlib.Path(__file__).resolve().parent.parent / 'share' / 'Sound'
    out.mkdir(parents=True, exist_ok=True)
    write(out / 'ready.wav', tones([(660, 0.15), (0, 0.05), (880, 0.25)]))
    write(out / 'error.wav', tones([(880, 0.25), (660, 0.25), (880, 0.25), (660, 0.25), (0, 0.3)]))


if __name__ == '__main__':
    main()
