// The chase model's right-hand side in double precision, for the flow
// engine: each pair of bodies once, one square root and one division per
// pair; and its Jacobian applied to a tangent vector, formed beside it from
// the same pair quantities. Vectors here are 0-based: component i of the
// model (1..32) is element i - 1.
#pragma once

#include <array>

#include "app/model/flock_model.hpp"

// The state and a tangent vector side by side: the state in elements 0..31,
// the tangent in 32..63.
constexpr int FlowSize = 2 * StateSize;
using FlowVector = std::array<double, FlowSize>;

// The model's constants in double, and the flock's pairs of bodies, each
// once (i < j) in the order every double version of the model sums them: a
// version over several trajectories at once uses the same, so that each of
// its trajectories gets the bits FlowJoinedDerivs gives.
namespace flow_model {
constexpr double InverseFlockMass = 1 / static_cast<double>(FlockModel::FlockMass);
constexpr double InverseChaserMass = 1 / static_cast<double>(FlockModel::ChaserMass);
constexpr double ChaserDrag = static_cast<double>(FlockModel::ChaserDamping) * InverseChaserMass;
struct PairIndex {
  int i, j;
};
constexpr int Pairs = FlockBodies * (FlockBodies - 1) / 2;
constexpr std::array<PairIndex, Pairs> PairList = [] {
  std::array<PairIndex, Pairs> list{};
  int p = 0;
  for (int i = 0; i < FlockBodies; ++i)
    for (int j = i + 1; j < FlockBodies; ++j) list[p++] = {i, j};
  return list;
}();
}  // namespace flow_model

// rates(0..31) := the model's derivatives at `state` (0..31), flock damping
// `damping`. `state` and `rates` must differ.
void FlowDerivs(double damping, const double* state, double* rates);

// The joined system: rates(0..31) as FlowDerivs, rates(32..63) := J(state)
// tangent, the Jacobian of the model at the state applied to the tangent.
// `joined` and `rates` must differ.
void FlowJoinedDerivs(double damping, const double* joined, double* rates);

// The trace of the model's Jacobian, the divergence of its flow: a position's
// rate is a velocity, so only the drag of each velocity on its own rate
// lies on the diagonal, whatever the state.
double FlowDivergence(double damping);
