#!/usr/bin/env python3
"""Turns a simulated outlet series ("outlet.out": record, discharge) into a
synthetic observed discharge file: the simulated value times a seeded
log-normal error plus a small additive error, never below zero, with two
header lines.

    python3 make_observations.py outlet.out obs.txt [--seed 7]
"""
import argparse
import math
import random


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("simulated")
    ap.add_argument("observed")
    ap.add_argument("--seed", type=int, default=7)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    values = []
    with open(a.simulated) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 2:
                values.append(float(parts[1]))
    with open(a.observed, "w") as f:
        f.write("Synthetic observed discharge at the outlet, m3/s (simulated with other parameters plus noise)\n")
        f.write("Q\n")
        for q in values:
            noisy = q * math.exp(rng.gauss(0.0, 0.08)) + rng.gauss(0.0, 0.002)
            f.write("%.5f\n" % max(0.0, noisy))


if __name__ == "__main__":
    main()
