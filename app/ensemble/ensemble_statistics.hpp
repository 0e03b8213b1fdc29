// The statistics of an ensemble column: the share of members that end one
// way (a binomial proportion), the rate at which members escape from chaos
// (exponential lifetimes censored at the pass budget), and the error of a
// ratio estimator over independent members.
#pragma once

#include <optional>
#include <vector>

// z of a two-sided 95 % interval: the 0.975 quantile of the standard normal.
inline constexpr double IntervalZ = 1.959963984540054;

struct Interval {
  double low = 0, high = 0;
};

// The 95 % Wilson score interval of `successes` out of `trials`. Unlike the
// normal approximation it stays inside [0, 1] and is not empty at 0 or at all
// successes, which small ensembles meet all the time. No trials: [0, 1].
// Successes are clamped to [0, trials].
Interval WilsonInterval(int successes, int trials);

struct RateEstimate {
  int events = 0;
  double exposure = 0;
  // events / exposure; none without an event (a rate of 0 would claim more
  // than was seen).
  std::optional<double> rate;
  double low = 0, high = 0;
};

// Members' lifetimes in chaos taken as exponential, each ended by an escape
// (an event) or censored at its budget: the maximum-likelihood rate is the
// number of escapes over the total time at risk, and since that total is
// the time axis of a Poisson process of escapes, the exact (Garwood) 95 %
// interval of a Poisson mean divided by the exposure bounds it:
//   low = chi2(0.025; 2n) / 2T (0 for n = 0), high = chi2(0.975; 2n + 2) / 2T.
// With no event, `high` is the one-sided bound -ln(0.025) / T that the same
// formula gives. No exposure (<= 0) bounds nothing: rate none, low 0, high
// +infinity. Negative events count as none.
RateEstimate PoissonRate(int events, double exposure);

// The standard error of R = (sum of sums) / (sum of times) by the delete-one
// jackknife over members: with R_i the ratio without member i,
//   SE = sqrt((n - 1) / n * sum (R_i - mean R_i)^2).
// Members are independent while the passes within one are correlated, so
// the member is the unit that is left out. Only members with a time above 0
// count; none below two of them. The vectors pair by index (the shorter
// one's length is used).
std::optional<double> JackknifeRatioError(const std::vector<double>& sums, const std::vector<double>& times);
