#!/usr/bin/python3
"""The certificates of a --spectrum sweep, column by column: the sum of the
32 exponents against the trace of the Jacobian (relative), and the count of
exponents within three standard errors of zero, the columns whose
certificate failed marked. Usage: certificates.py NAME.spectrum.csv OUT.png"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt


def main(path, out):
    rows = list(csv.DictReader(open(path)))
    damping = [float(r["damping"]) for r in rows]
    residual = [abs(float(r["sum"]) - float(r["trace"])) / abs(float(r["trace"])) for r in rows]
    zeros = [int(r["zero_exponents"]) if r["zero_exponents"] else -1 for r in rows]
    failed = [r["certificate"] not in ("ok", "unchecked") for r in rows]
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 6), height_ratios=[3, 2])
    top.semilogy(damping, residual, ".", ms=3, color="tab:blue")
    top.set_ylabel("|sum - trace| / |trace|")
    top.set_title("The spectrum's certificates across the sweep")
    ok = [(d, z) for d, z, f in zip(damping, zeros, failed) if not f]
    bad = [(d, z) for d, z, f in zip(damping, zeros, failed) if f]
    bottom.plot([d for d, _ in ok], [z for _, z in ok], ".", ms=3, color="black", label="certificate ok")
    bottom.plot([d for d, _ in bad], [z for _, z in bad], "o", ms=4, mfc="none", color="tab:red",
                label="zeros failed")
    bottom.axhline(4, color="grey", lw=0.8, ls="--")
    bottom.set_ylabel("exponents within 3 SE of 0")
    bottom.set_xlabel("damping")
    bottom.set_xlim(0, 1)
    bottom.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(out, dpi=100)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
