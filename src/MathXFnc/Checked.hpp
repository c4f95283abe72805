// Internal to the numeric methods: their own arithmetic fails like node arithmetic.
#pragma once

#include "util/util.hpp"

// op(args...), or the exception of the floating-point failure when the result is not
// finite. The recomputation reads the operands through volatiles so that it is really
// done after the flags are cleared.
template <class Op, class... Args>
long double CheckedOp(Op op, Args... args) {
  return CheckedResult(
      op(args...), [op, args...] { return op(static_cast<const volatile long double&>(args)...); });
}
