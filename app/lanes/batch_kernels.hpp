// The vector kernels of the batch engine: the model's joined right-hand side
// and one Dormand-Prince 5(4) try over eight trajectories, one per lane, in
// structure-of-arrays layout. Each is compiled for every vector target the
// library offers and chosen at run time; the widest the machine has is the
// default, any other it supports can be asked for by name.
//
// Every lane is computed with the operations of FlowJoinedDerivs and of the
// scalar flow engine's method, in the same order and without contractions,
// so a lane's numbers are the same bits on every target and whatever its
// neighbours hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/model/flow_derivs.hpp"

constexpr int BatchLanes = 8;

// Component c of lane l is element c * BatchLanes + l.
using LaneVector = double[FlowSize * BatchLanes];

struct BatchArrays {
  alignas(64) LaneVector x;     // state and tangent
  alignas(64) LaneVector dxdt;  // their slope at x
  // A stage's argument, and at last the try's end.
  alignas(64) LaneVector x_tmp;
  // The stages k2 .. k6; the slope at the try's end, the next try's first
  // stage, takes k2's place, which nothing needs by then. Fewer arrays keep
  // a try within the first-level cache.
  alignas(64) LaneVector k[5];
  alignas(64) double damping[BatchLanes] = {};
  alignas(64) double tolerance[BatchLanes] = {};
  alignas(64) double step[BatchLanes] = {};    // the try's step per lane
  alignas(64) double active[BatchLanes] = {};  // 1 where a lane tries, 0 where it waits
  // Out of a try: the largest scaled error over the 32 state components
  // (infinite where it is not a number), the tangent's squared length at
  // the lane's new x, and 0 where every component of it is finite (else not
  // a number).
  alignas(64) double error[BatchLanes] = {};
  alignas(64) double squares[BatchLanes] = {};
  alignas(64) double finite[BatchLanes] = {};
};

struct BatchKernels {
  // rates := the joined right-hand side at x, every lane (layouts as above).
  void (*derivs)(const double* damping, const double* x, double* rates) = nullptr;
  // One try of every active lane from x with its step, and its error; where
  // the error accepts it (at most 1), x and dxdt take the try's end and its
  // slope. Then squares and finite are those of the lane's x.
  void (*try_step)(BatchArrays& a) = nullptr;
  std::int64_t target = 0;
  int width = 0;  // doubles per vector
};

// The kernels for the best target of this machine.
const BatchKernels& BestBatchKernels();
// Every target this machine can run that the kernels were built for, best
// first, with its name.
struct BatchTarget {
  std::int64_t target;
  std::string name;
};
std::vector<BatchTarget> BatchTargets();
// The kernels of one of those targets.
BatchKernels BatchKernelsFor(std::int64_t target);
std::string BatchTargetName(std::int64_t target);
