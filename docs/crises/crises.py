#!/usr/bin/python3
"""The two edges of the lasting chaos from ensemble runs of flockchase.

For each results file of an edge (flockchase --flow --members K ...), the
fresh members' escapes and their time at risk per column (the results
file's escapes and member_chaotic_time) are fitted by maximum likelihood as
Poisson counts of exponential lifetimes censored at the budget, with the
escape rate of a crisis at critical damping Dc:

  power law:   rate(D) = r (x / 0.01)^gamma + b,   x = distance to Dc on
               the transient side, 0 on the other,
  faster law:  rate(D) = r exp(-c (0.01 / x)^(1/2)) + b (a super-persistent
               transient, whose lifetime grows faster than any power),
  no crisis:   rate(D) = r exp(-s (D - D0) / 0.01) + b, s signed (a rate
               that falls steadily, with no critical damping at all),

b a background of members that leave by other ways (a start in a regular
attractor's basin, an early capture) on both sides. Errors from the
observed information (the inverse Hessian of -log L). Prints a table and
draws the rates with their exact 95 % intervals and the fits.

  crises.py lower LOWER.csv upper UPPER.csv OUT.png
Only columns from 0.225 up are fitted: below it captures end the chaos too,
by another law.
Needs python3-numpy, python3-scipy and python3-matplotlib (Debian).
"""
import csv
import math
import sys

import numpy as np
from scipy import optimize, stats

SCALE = 0.01


def columns(path, low=0.0, high=1.0):
    out = []
    for row in csv.DictReader(open(path)):
        if not row["members"] or not low <= float(row["damping"]) <= high:
            continue
        out.append((float(row["damping"]), int(row["escapes"]), float(row["member_chaotic_time"])))
    out.sort()
    return np.array([c[0] for c in out]), np.array([c[1] for c in out]), np.array([c[2] for c in out])


def garwood(n, t):
    low = stats.chi2.ppf(0.025, 2 * n) / (2 * t) if n > 0 else 0.0
    high = stats.chi2.ppf(0.975, 2 * n + 2) / (2 * t)
    return low, high


def distance(d, dc, side):
    # The transient side: below Dc at the lower edge, above it at the upper.
    x = (dc - d) if side == "lower" else (d - dc)
    return np.where(x > 0, x, 0.0)


def rate(params, d, side, law):
    log_r, a, dc, log_b = params
    x = distance(d, dc, side) / SCALE
    b = math.exp(log_b)
    with np.errstate(divide="ignore", over="ignore", invalid="ignore"):
        if law == "steady":
            # dc is only where r is read off; a the e-folds per 0.01.
            return np.exp(log_r - a * (d - dc) / SCALE * (1 if side == "lower" else -1)) + b
        if law == "power":
            core = np.where(x > 0, np.exp(log_r) * np.power(np.maximum(x, 1e-300), a), 0.0)
        else:
            core = np.where(x > 0, np.exp(log_r - a / np.sqrt(np.maximum(x, 1e-300))), 0.0)
    return core + b


def nll(params, d, n, t, side, law):
    lam = rate(params, d, side, law)
    if not np.all(np.isfinite(lam)) or np.any(lam <= 0):
        return 1e300
    with np.errstate(divide="ignore", invalid="ignore"):
        return float(np.sum(lam * t - n * np.log(lam)))


def hessian(f, x, step):
    k = len(x)
    h = np.zeros((k, k))
    for i in range(k):
        for j in range(k):
            ei = np.zeros(k)
            ej = np.zeros(k)
            ei[i] = step[i]
            ej[j] = step[j]
            h[i, j] = (f(x + ei + ej) - f(x + ei - ej) - f(x - ei + ej) + f(x - ei - ej)) / (4 * step[i] * step[j])
    return h


def fit(d, n, t, side, law):
    if law == "steady":
        # No critical damping: r is read off at the columns' middle.
        middle = float(np.mean(d))
        f = lambda p: nll(np.array([p[0], p[1], middle, p[2]]), d, n, t, side, law)
        best = None
        for a in (0.5, 1, 2, 4):
            start = np.array([math.log(max(n.sum() / t.sum(), 1e-8)), a, math.log(1e-7)])
            r = optimize.minimize(f, start, method="Nelder-Mead",
                                  options={"maxiter": 20000, "xatol": 1e-10, "fatol": 1e-10})
            if best is None or r.fun < best.fun:
                best = r
        x = np.array([best.x[0], best.x[1], middle, best.x[2]])
        h = hessian(lambda p: f(np.array([p[0], p[1], p[3]])), x, np.array([1e-3, 1e-3, 1e-5, 1e-2]))
        keep = [0, 1, 3]
        try:
            cov = np.linalg.inv(h[np.ix_(keep, keep)])
            e = np.sqrt(np.maximum(np.diag(cov), 0))
            err = np.array([e[0], e[1], 0.0, e[2]])
        except np.linalg.LinAlgError:
            err = np.full(4, float("nan"))
        return x, err, best.fun
    best = None
    span = np.linspace(d.min(), d.max(), 25)
    for dc in span:
        for a in ([0.5, 1, 2, 4] if law == "power" else [0.5, 1, 3, 10]):
            start = np.array([math.log(max(n.sum() / t.sum(), 1e-8)), a, dc, math.log(1e-6)])
            r = optimize.minimize(nll, start, args=(d, n, t, side, law), method="Nelder-Mead",
                                  options={"maxiter": 20000, "xatol": 1e-9, "fatol": 1e-9})
            if best is None or r.fun < best.fun:
                best = r
    x = best.x
    h = hessian(lambda p: nll(p, d, n, t, side, law), x, np.array([1e-3, 1e-3, 1e-5, 1e-2]))
    try:
        cov = np.linalg.inv(h)
        err = np.sqrt(np.maximum(np.diag(cov), 0))
    except np.linalg.LinAlgError:
        err = np.full(4, float("nan"))
    return x, err, best.fun


def profile(d, n, t, side, law, x, best):
    """The critical dampings within -log L of the best plus 1.92 (a 95 %
    interval of one parameter), the others fitted at each."""
    inside = []
    for dc in np.linspace(x[2] - 0.006, x[2] + 0.006, 121):
        f = lambda p: nll(np.array([p[0], p[1], dc, p[2]]), d, n, t, side, law)
        r = optimize.minimize(f, np.array([x[0], x[1], x[3]]), method="Nelder-Mead",
                              options={"maxiter": 8000, "xatol": 1e-9, "fatol": 1e-9})
        if r.fun - best < 1.92:
            inside.append(dc)
    return (min(inside), max(inside)) if inside else (float("nan"), float("nan"))


def main(argv):
    if len(argv) != 6:
        print(__doc__)
        return 2
    edges = [(argv[1], argv[2]), (argv[3], argv[4])]
    out = argv[5]
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    fig, axes = plt.subplots(1, 2, figsize=(11, 4.5))
    print("| edge | law | Dc (profile 95 %) | exponent (power), c (faster), e-folds per 0.01 (no crisis) | rate scale r | background b | -log L |")
    print("|---|---|---|---|---|---|---|")
    for ax, (side, path) in zip(axes, edges):
        d, n, t = columns(path, 0.225, 1.0)
        fits = {}
        for law in ("power", "faster", "steady"):
            x, err, f = fit(d, n, t, side, law)
            fits[law] = x
            if law == "steady":
                where = "none"
            else:
                low, high = profile(d, n, t, side, law, x, f)
                where = f"{x[2]:.4f} ± {err[2]:.4f} ({low:.4f} to {high:.4f})"
            print(f"| {side} | {law} | {where} | {x[1]:.3f} ± {err[1]:.3f} | "
                  f"{math.exp(x[0]):.3g} | {math.exp(x[3]):.2g} | {f:.2f} |")
        seen = n > 0
        lows, highs = zip(*(garwood(k, tt) for k, tt in zip(n, t)))
        lows, highs = np.array(lows), np.array(highs)
        r = np.where(seen, n / t, np.nan)
        ax.errorbar(d[seen], r[seen], yerr=[r[seen] - lows[seen], highs[seen] - r[seen]], fmt="o", ms=3,
                    color="#1f4e9a", label="escape rate, 95 % interval")
        ax.plot(d[~seen], highs[~seen], "v", ms=5, color="#c0392b", label="upper bound (no escape)")
        grid = np.linspace(d.min(), d.max(), 800)
        ax.plot(grid, rate(fits["power"], grid, side, "power"), "-", color="black", lw=1, label="power law")
        ax.plot(grid, rate(fits["faster"], grid, side, "faster"), "--", color="#2e8b57", lw=1,
                label="exp(-c x^-1/2)")
        ax.plot(grid, rate(fits["steady"], grid, side, "steady"), ":", color="#7f3f98", lw=1.2,
                label="exponential, no crisis")
        ax.set_yscale("log")
        floor = np.nanmin(np.where(seen, lows, highs)[np.where(seen, lows, highs) > 0])
        ax.set_ylim(floor / 5, np.nanmax(highs) * 3)
        ax.set_xlabel("flock damping")
        ax.set_ylabel("escapes per member and unit of time")
        ax.set_title(f"{side} edge")
        ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(out, dpi=110)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
