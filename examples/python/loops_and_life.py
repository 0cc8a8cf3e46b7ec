#!/usr/bin/env python3
"""A stress-strain path, its closed loops and the fatigue life of a steel
under a random strain history; draws the path to loops.png when matplotlib
is installed.

    PYTHONPATH=PREFIX/lib/python3.X/site-packages python3 loops_and_life.py
"""
import math
import random

import hysteresis

# A Ramberg-Osgood backbone: E = 206000 MPa, K' = 1184 MPa, n' = 0.187.
sy = [400.0 * i / 40 for i in range(41)]
ey = [s / 206000 + (s / 1184) ** (1 / 0.187) for s in sy]

rng = random.Random(1)
strain = [0.0] + [0.004 * math.sin(0.3 * i) + 0.002 * rng.uniform(-1, 1) for i in range(1, 400)]
stress = hysteresis.stress(ey, sy, strain)
cycles = hysteresis.loops(strain, stress)
result = hysteresis.life(cycles, E=206000, SF=1000, B=-0.1, EF=0.5, C=-0.6, parameter="swt")

print("%d entries, %d closed loops, %d half cycles"
      % (len(strain), sum(c.count == 1 for c in cycles), sum(c.count == 0.5 for c in cycles)))
print("damage of one pass %.3e, passes to failure %.4g" % (result.damage, result.repetitions))

try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError:
    print("matplotlib is not installed: no picture")
else:
    plt.plot(strain, list(stress), linewidth=0.8)
    plt.xlabel("strain")
    plt.ylabel("stress [MPa]")
    plt.title("%d entries, %d closed loops" % (len(strain), sum(c.count == 1 for c in cycles)))
    plt.savefig("loops.png", dpi=100)
    print("wrote loops.png")
