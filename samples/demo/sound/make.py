#!/usr/bin/env python3
"""Makes the demo's sound effects: unlock.WAV (a key turning in a lock) and door.WAV (a door
swinging). The WAV files are committed; run this again after changing a sound."""
import math
import os
import random
import struct
import wave

RATE = 22050


def save(name, samples):
    with wave.open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", int(max(-1, min(1, s)) * 32000)) for s in samples))


def tone(freq, seconds, decay):
    return [math.sin(2 * math.pi * freq * i / RATE) * math.exp(-decay * i / RATE)
            for i in range(int(seconds * RATE))]


# Two metallic clicks, the second lower: the bolt gives way.
unlock = [0.6 * s for s in tone(2400, 0.05, 60)] + [0.0] * 2200 + [0.8 * s for s in tone(1300, 0.12, 30)]
save("unlock.WAV", unlock)

# A creak that slides down in pitch, roughened with a little noise.
random.seed(7)
creak, phase = [], 0.0
for i in range(int(0.5 * RATE)):
    t = i / RATE
    phase += 2 * math.pi * (420 - 300 * t) / RATE
    envelope = math.sin(math.pi * t / 0.5)
    creak.append(envelope * (0.4 * (1 if math.sin(phase) > 0 else -1) * 0.5 + 0.2 * random.uniform(-1, 1)))
save("door.WAV", creak)
