// Failing allocations: every allocation of a run is made to fail in turn; each failure
// must free every node exactly once and leave the functions usable.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "MathDiff/MathDiff.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

// The number of allocations still allowed; negative: no limit.
long gAllocationsLeft = -1;

}  // namespace

// The replaced operators below take their memory from malloc and give it back to free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  if (gAllocationsLeft == 0) throw std::bad_alloc();
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

// The standard library's temporary buffers (stable_sort) ask without exceptions; their memory
// comes from malloc too, since the operators below return it to free.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (gAllocationsLeft == 0) return nullptr;
  if (gAllocationsLeft > 0) --gAllocationsLeft;
  return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* p) noexcept {
  std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace {

// Parses, simplifies and derives term with the given number of allocations allowed;
// "" when it ran through, else what stopped it.
std::string Pipeline(const std::string& term, long allowed) {
  gAllocationsLeft = allowed;
  std::string outcome;
  try {
    TKoMathTreeFunction f;
    f.AddVariable("x");
    f.SetTree(ParseTerm(term, f.VarDepot.get()));
    f.Simplify();
    DeriveTree(f.GetTree(), "x", f.VarDepot.get());
  } catch (const std::bad_alloc&) {
    outcome = "bad_alloc";
  } catch (const Exception& e) {
    gAllocationsLeft = -1;
    outcome = e.ClassName();
  } catch (...) {
    gAllocationsLeft = -1;
    outcome = "another exception";
  }
  gAllocationsLeft = -1;
  return outcome;
}

TEST(Allocation, EveryFailingAllocationFreesEveryNodeOnce) {
  const std::int32_t before = TKoOperatorNode::GetInstanceCount();
  for (const char* term :
       {"(-x)*y*(-z)*(-w)", "x-x+2*3*x/(-y)", "(x^2)^3*sin(-x)/(-2)", "-(-(x))*(-1)+abs(y)"}) {
    std::string outcome = "none";
    for (long allowed = 0; !outcome.empty() && allowed < 100000; ++allowed) {
      outcome = Pipeline(term, allowed);
      // A failed allocation while parsing is a syntax error to the user.
      EXPECT_TRUE(outcome.empty() || outcome == "bad_alloc" || outcome == "ESyntaxError")
          << term << " after " << allowed << ": " << outcome;
      ASSERT_EQ(TKoOperatorNode::GetInstanceCount(), before) << term << " after " << allowed;
    }
    EXPECT_EQ(outcome, "") << term;
  }
}

}  // namespace
