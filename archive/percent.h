// The unpacking's whole percentage.
#pragma once

#include <cstdint>

namespace archive {

// (bytesCounted / totalBytes) * 100 in extended precision: the quotient first, then the
// product, rounded to the nearest integer with an exact half going to the even neighbour.
// Defined for every input: a totalBytes of 0 gives 0 (nothing to report), and a result
// beyond the 32-bit range (a negative totalBytes, or a damaged archive counting far more
// bytes than it holds) is clamped to INT32_MIN or INT32_MAX.
int32_t ComputePercent(int32_t bytesCounted, int32_t totalBytes);

}  // namespace archive
