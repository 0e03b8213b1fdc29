// The model's state rates, computed exactly as FlowJoinedDerivs computes the
// state half of its joined system, and beside them the model's Jacobian at
// the state in the pieces the tangents need: a symmetric 2x2 block for each
// flock body's coupling to the chaser and for each pair of flock bodies.
// The tangents of the spectrum then share the state's square roots and
// divisions instead of forming them again for each.
#pragma once

#include "app/model/flow_derivs.hpp"

// A symmetric 2x2 block: [[xx, xy], [xy, yy]].
struct Block2 {
  double xx = 0, xy = 0, yy = 0;
};

struct JacobianTerms {
  // Body i's acceleration from the chaser, as a function of d = r_i - r_c,
  // is q(d) / 0.3 with q = d / |d|^2; its derivative is
  // (I / |d|^2 - 2 q q^T) / 0.3. The chaser's acceleration takes the same
  // derivative times 0.3 / 0.2.
  Block2 chaser[FlockBodies];
  // The pull of pair p on its first body, g(|d|^2) d / 0.3 with d = r_j - r_i,
  // has the derivative (g I + 2 g' d d^T) / 0.3 in d; its second body feels
  // the opposite.
  Block2 pair[flow_model::Pairs];
  double flock_drag = 0;  // D / 0.3
};

// The chaser's share of a flock body's coupling block, 0.3 / 0.2.
constexpr double ChaserShare = flow_model::InverseChaserMass / flow_model::InverseFlockMass;

// rates(0..31) := the model's derivatives at `state` (0..31), the same bits
// as FlowJoinedDerivs gives there; `terms` := the Jacobian's blocks at
// `state`. `state` and `rates` must differ.
void StateRatesAndTerms(double damping, const double* state, double* rates, JacobianTerms& terms);
