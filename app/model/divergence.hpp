// The divergence sample of the flow: the trace of the Jacobian of
// FlockDerivs by central differences, one component at a time.
#pragma once

#include "app/model/flock_model.hpp"
#include "runtime/real.hpp"

// Adds to `divergence_sum`, component by component in ascending order, the
// central difference (rate_i(up) - rate_i(down)) / epsilon of every
// component i of `state`, where down lowers component i to
// state(i) - epsilon * 0.5 and up raises that lowered value by epsilon. The
// sum comes out exactly as from evaluating FlockDerivs at both displaced
// states for each of the 32 components, at the cost of about one evaluation:
// a position's rate is a velocity and does not see the displacement, and a
// velocity's rate differs only in its own drag term.
void AddDivergenceSample(const FlockModel& model, const Real* state, Real epsilon, Real& divergence_sum);
