#include "runtime/array.hpp"

#include <cstdlib>
#include <cstring>

#include "runtime/errors.hpp"

void array_dim(ArrayDescriptor& array, std::initializer_list<ArrayBounds> bounds, Real* at) {
  if (array.dimensioned()) return;
  std::uint64_t count = 1;
  for (const ArrayBounds& b : bounds) {
    if (b.upper < b.lower) {
      raise_error(9);
      return;
    }
    count *= static_cast<std::uint64_t>(static_cast<std::int64_t>(b.upper) - b.lower + 1);
    if (count > UINT32_MAX) {
      raise_error(9);
      return;
    }
  }
  const std::uint64_t bytes = count * sizeof(Real);
  if (bytes > UINT32_MAX) {
    raise_error(9);
    return;
  }
  Real* data = at;
  if (data == nullptr) {
    data = static_cast<Real*>(std::calloc(count, sizeof(Real)));
    if (data == nullptr) {
      raise_error(7);
      return;
    }
  }
  array.data = data;
  array.flags = static_cast<std::uint8_t>(ArrayPlainElements | (at ? ArrayAtGivenAddress : 0) | ArrayDimensioned);
  array.kind = 2;
  array.type_code = ArrayTypeReal;
  array.dimensions = static_cast<std::uint8_t>(bounds.size());
  array.count = static_cast<std::uint32_t>(count);
  array.element_size = sizeof(Real);
  array.byte_size = static_cast<std::uint32_t>(bytes);
  array.bounds.assign(bounds.begin(), bounds.end());
}

void array_erase(ArrayDescriptor& array, int mode) {
  if (!array.dimensioned()) return;
  if (mode == EraseClear) {
    std::memset(static_cast<void*>(array.data), 0, array.byte_size);
    return;
  }
  if (!(array.flags & ArrayAtGivenAddress)) std::free(array.data);
  array.data = nullptr;
  array.flags = static_cast<std::uint8_t>(array.flags & ~(ArrayAtGivenAddress | ArrayDimensioned));
}

ArrayDescriptor::~ArrayDescriptor() { array_erase(*this, EraseProcedureEnd); }
