#include <string>
#include <string_view>

#include "app/frame/options.hpp"

std::string UsageText() {
  return "usage: flockchase [--step N] [--time-limit SECONDS] [--damping LOW:HIGH] [--threads 1|2]\n"
         "                  [--robust] [--tangent] [--passes N] [--target-error E]\n"
         "                  [--flow [--tolerance E] [--members K [--seed S] | --spectrum [K]]]\n"
         "                  [--ascending]\n"
         "                  [--segment I/K [--convert]] [--merge]\n"
         "                  [--history FILE] [--resume] [--headless] [--help] [--version]";
}

namespace {

// What the program does and what its report line says.
constexpr std::string_view AboutHelp = R"(Measures the largest Lyapunov exponent of a planar eight-body chase model
(seven flock bodies fleeing a chaser) for 799 flock dampings from 0.99875
down to 0.00125, one per pixel column of the chart, right to left. Prints
one report line per column and draws the curve in a window of its own
(off-screen without a display). At the end prints "Done!", saves the chart
as NAME.bmp in the current directory (NAME is the program's name), runs
"picvec NAME" on it and waits for a key. Esc, read at a convergence test,
ends the run at once without saving. Every finished column is written to
NAME.csv at once, and NAME.checkpoint lets --resume continue a stopped run.

Report line: damping, exponent, a plus-minus sign, the spread of the last
1000 running estimates, the mean divergence of the flow.)";

// The options that choose the columns and how long each may take.
constexpr std::string_view SweepOptionsHelp = R"(  --step N              evaluate every Nth column from the right (1..799);
                        the curve joins the evaluated points (default 1)
  --time-limit SECONDS  elapsed time after which a column ends with a beep
                        (default 100; none when --passes is given alone)
  --damping LOW:HIGH    evaluate only the columns whose damping lies in
                        [LOW, HIGH] (decimal numbers, 0 <= LOW <= HIGH <= 1,
                        compared exactly: 0.9:0.9 is column 770); the chart
                        still spans 0 to 1
  --threads 1|2         advance the two trajectories of a pass one after the
                        other (1) or at the same time (2); with --members,
                        share the members between one or two threads; the
                        results are the same bits (default: 2 when the
                        machine has at least two cores; --flow with one
                        member always uses one)
  --ascending           sweep the selected columns from left to right (low
                        damping to high) instead of right to left, each
                        column (its member 0) going on from the state the
                        one before left: run both ways to see hysteresis.
                        Not with --segment or --merge)";

// The options of how a column is measured.
constexpr std::string_view MeasurementOptionsHelp = R"(  --robust              step the shadow by the reference's own map: the
                        sub-step count the reference's step chose and the
                        2 pi folds it made; a pass whose separation grew
                        beyond 1e-4 is renormalised and measured all the
                        same (counted in large_passes). Without it, such a
                        pass measures nothing, the separation keeps growing
                        and the column runs to its limit unmeasured: at low
                        damping most columns do. The default keeps the
                        classic behaviour bit for bit.
  --tangent             also estimate the exponent from the tangent
                        dynamics: a tangent vector carried through the
                        reference's steps, normalised every pass, averaged
                        over the same measured passes; written to the
                        results file (tangent_exponent,
                        tangent_standard_error), not to the report or chart.
                        Costs about twice the time of a pass.
  --flow                measure the exponent of the model's equations
                        themselves rather than of the classic step: the
                        reference state and its tangent integrated in
                        double by an adaptive Dormand-Prince 5(4) method
                        (error control on the state alone), the tangent
                        normalised and its growth measured every 0.01, the
                        2 pi folds applied there; no shadow. The exponent
                        reported is the tangent's; the mean divergence is
                        the trace of the model's Jacobian. Columns end as
                        without it, or as stalled when the engine cannot go
                        on (below damping 0.225, stopped in a captured pair,
                        it is a capture and the column goes on). About 20
                        times faster than --robust --tangent.
                        Not with --robust; --threads 2 and --tangent add
                        nothing to it
  --tolerance E         with --flow: the engine's absolute and relative
                        error tolerance per state component, 1e-16 < E < 1
                        (default 1e-8)
  --members K           with --flow and --passes: run K trajectories in every
                        column (1..1024; 1 is the column as without it).
                        Member 0 goes on from the state the column before
                        left; members 1 to K-1 start afresh from random
                        states drawn for the column and the member alone
                        (the same whatever K, the threads, the segment or a
                        resumption). On the batch engine (eight members at a
                        time on the machine's widest vectors). Each member
                        runs its transient and then to the pass budget,
                        unless it escapes: captured (its collapse taken
                        back) or settled on a regular attractor (certified
                        over 200 units). The column's shares of ends, escape
                        rate and exponent are those of the fresh members;
                        the report line and the chart carry that exponent
                        and its jackknife error; the results line's own
                        fields are member 0's. Every member's line goes to
                        NAME.members.csv
  --seed S              with --members: draw the fresh members' starts from
                        another set of generators (0..4294967295; default
                        0), to check that what the ensemble says does not
                        depend on the starts drawn
  --spectrum [K]        with --flow, not with --members: measure the K
                        largest Lyapunov exponents (1..32; default all 32)
                        with K tangents carried beside the trajectory, which
                        stays the one --flow follows, orthonormalised every
                        50 passes (modified Gram-Schmidt); the first tangent
                        is the column's, so the report line and the chart
                        show the largest exponent. Each exponent's error is
                        by batch means over blocks of 1000 passes. A column
                        whose 32 exponents miss the trace of the Jacobian by
                        more than the bound the tolerance allows, or that
                        has fewer than four exponents within three errors
                        of zero (the two translations, the rotation, the
                        flow) while reaching a negative one, says so in a
                        line after its report line. Every column's spectrum
                        goes to NAME.spectrum.csv. About twice the time of
                        --flow with all 32
  --passes N            a column ends after its Nth pass (end pass_limit)
                        unless something ended it before. Without
                        --time-limit no time limit applies then, so a run
                        gives the same bits on every machine
  --target-error E      a column converges when the batch-means standard
                        error of its exponent is below E with at least 20
                        blocks of 1000 measured passes, instead of when the
                        spread is below 0.001. The exponent reported and
                        drawn is then the running mean over the measured
                        passes (the value the standard error belongs to), the
                        plus-minus figure is the standard error (the spread
                        where the column has fewer than two blocks), and the
                        extrapolated limit goes to the results file
                        (extrapolated): where the running estimate jumps,
                        the extrapolation can lie far from it

With any of these options (and --flow) a column watches for captures: below
damping 0.225 the chaser can catch a flock body into a collapsing orbit
(bound, its energy falling at (5/3) g, g = 1.5 - 20 damping / 3), which no
step follows. What was measured from a collapse's start is taken back and
the column goes on from a fresh random state. It also watches for a
settling onto a regular attractor (its growth below 0.05 per unit over 20
units, certified over 200): a column that settles after chaos ends there
(end settled) with the chaos's exponent; one regular throughout reports its
regular attractor's. The results file tells
  regime                chaotic (chaos throughout), transient (chaos that
                        ended: captures or a settling; the exponent is that
                        of the chaotic phases), regular (no chaotic phase:
                        the exponent is the regular attractor's) or
                        captured (nothing measured before every capture: no
                        exponent)
  captures              the captures declared in the column
  chaotic_time          the model time measured, in chaotic phases
  capture_rate          captures per unit of model time spent before them
  collapse_rate         the captured pairs' mean decay rate, to set beside g
and then the integrator's fields
  integrator            step (the classic step) or dopri5 (--flow)
  tolerance             the integrator's error tolerance
  steps                 --flow: the engine's accepted steps in the column
  rejected_steps        --flow: the steps it tried and refused
then the settling's
  settled_time          the model time at which the regular motion began
  regular_exponent      the regular attractor's exponent, and its
  regular_standard_error  standard error
  laminar_phases        suspected settlings that turned chaotic again
and with --members the ensemble's: members; ended_chaotic, ended_settled,
ended_captured, ended_stalled (the fresh members' ends) and the 95 % Wilson
intervals of the first three shares (chaotic_share_low, ..._high and so on);
escapes, member_chaotic_time (their time in chaos), escape_rate with its
exact 95 % interval (escape_rate_low, escape_rate_high; without an escape
the upper bound alone); attractors and attractor_shares (the distinct
regular attractors and the share of fresh members on each, ';' between);
ensemble_exponent and ensemble_standard_error (the chaotic phases' exponent
over the fresh members, its error by the jackknife over members)
and with --spectrum the spectrum's
  positive_exponents    exponents beyond three standard errors above zero
  zero_exponents        exponents within three standard errors of zero
  kaplan_yorke          the Kaplan-Yorke dimension (the zero exponents as 0)
  sum_residual          the sum of the 32 exponents minus the trace (only
                        with all 32)
  spectrum_certificate  ok, sum, zeros or sum+zeros (the checks that failed),
                        or unchecked (too few blocks, or nothing to check)
)";

// Sweeps split over machines.
constexpr std::string_view SegmentOptionsHelp = R"(  --segment I/K         run only the I-th of K contiguous, nearly equal groups
                        of the columns the other options select (right to
                        left), for K machines or processes: starts from the
                        initial state at the group's first column and writes
                        NAME.segI-K.csv, .checkpoint (kept at the end: the
                        merge checks it) and .bmp; resumable with --resume
                        --segment I/K. Starts the converter only with
                        --convert
  --convert             with --segment: start the converter at the end
  --merge               merge the complete set of NAME.segI-K.csv here, made
                        with the same options as given now, into NAME.csv
                        (with a segment field), draw its chart, save NAME.bmp
                        and run the converter, as a run ends)";

// The history, resuming, the display and the program itself.
constexpr std::string_view RunOptionsHelp = R"(  --history FILE        write the convergence history of every column to
                        FILE: a line per 1000 measured passes; a device or
                        a FIFO (/dev/null, a pipe) is written into as it is,
                        and none of the run's own files is taken
  --resume              continue a stopped sweep from NAME.checkpoint in the
                        current directory, with the same --step, --time-limit,
                        --damping and measurement options; a history is cut
                        back to the checkpoint's column
  --headless            draw off-screen even when a display is present
  --help                print this text
  --version             print the version)";

}  // namespace

std::string HelpText() {
  std::string text = UsageText() + "\n\n" + std::string(AboutHelp) + "\n\n";
  text += SweepOptionsHelp;
  for (std::string_view options : {MeasurementOptionsHelp, SegmentOptionsHelp, RunOptionsHelp}) {
    text += '\n';
    text += options;
  }
  return text;
}

