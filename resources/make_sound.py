#!/usr/bin/env python3
"""Writes alert.wav: a short two-note chime, 16-bit mono PCM at 22,050 Hz, about 0.35 s."""
import math
import struct

rate = 22050
samples = []
for freq, length in ((880.0, 0.14), (1318.5, 0.21)):
    n = int(rate * length)
    for i in range(n):
        t = i / rate
        envelope = min(1.0, i / 200) * math.exp(-5.0 * t / length)
        samples.append(int(12000 * envelope * math.sin(2 * math.pi * freq * t)))
data = b"".join(struct.pack("<h", s) for s in samples)
fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
riff = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
open("alert.wav", "wb").write(b"RIFF" + struct.pack("<I", len(riff)) + riff)
