// Dynamic arrays of reals behind an array descriptor. Dimensioning allocates
// zero-filled memory; dimensioning an array that is already dimensioned has
// no effect; erasing releases it. Subscripts are not checked.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "runtime/real.hpp"

enum ArrayFlags : std::uint8_t {
  ArrayAtGivenAddress = 1,   // memory belongs to the caller: nothing allocated or freed
  ArrayPlainElements = 2,    // elements need no release on erase
  ArrayDimensioned = 4,
};

enum ArrayEraseMode : int {
  EraseStatement = 2,   // erased by a program statement
  EraseClear = 4,       // clear the elements, keep the memory
  EraseProcedureEnd = 8 // a local array at the end of its procedure
};

constexpr std::uint8_t ArrayTypeReal = 0x18;

struct ArrayBounds {
  std::int32_t lower;
  std::int32_t upper;
};

struct ArrayDescriptor {
  Real* data = nullptr;
  std::uint8_t flags = 0;
  std::uint8_t kind = 0;       // 2 once dimensioned
  std::uint8_t type_code = 0;
  std::uint8_t dimensions = 0;
  std::uint32_t count = 0;         // elements over all dimensions
  std::uint32_t byte_size = 0;
  std::uint32_t element_size = 0;
  std::vector<ArrayBounds> bounds;

  bool dimensioned() const { return (flags & ArrayDimensioned) != 0; }
  // Element i of a one-dimensional array, unchecked.
  Real& operator[](std::int32_t i) { return data[i - bounds[0].lower]; }
  const Real& operator[](std::int32_t i) const { return data[i - bounds[0].lower]; }

  ArrayDescriptor() = default;
  ArrayDescriptor(const ArrayDescriptor&) = delete;
  ArrayDescriptor& operator=(const ArrayDescriptor&) = delete;
  ~ArrayDescriptor();
};

// Dimensions a real array with the given bounds (one pair per dimension).
// `at` non-null places it at caller-owned memory. Upper below lower, or a
// size beyond 32 bits, raises 9; no memory raises 7; both leave the array
// undimensioned.
void array_dim(ArrayDescriptor& array, std::initializer_list<ArrayBounds> bounds, Real* at = nullptr);
void array_erase(ArrayDescriptor& array, int mode = EraseStatement);
