// Which failures become error texts: the program's own exceptions and failed allocations
// do; any other exception is a programming error and reaches the caller.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "MathDiff/MathDiff.hpp"
#include "MathIntg/MathIntg.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "app/app.hpp"

namespace {

// A creator that fails with the given exception instead of building the tree.
class TThrowingCreator : public TKoFunctionCreator {
 public:
  TThrowingCreator(TKoMathFunction* target, std::function<void()> fail)
      : TKoFunctionCreator(target), Fail(std::move(fail)) {}
  void Execute() override { Fail(); }
  std::unique_ptr<TKoFunctionCreator> Clone(TKoMathFunction*) const override { return nullptr; }

 private:
  std::function<void()> Fail;
};

struct Failing {
  const char* name;
  std::function<void()> fail;
  bool becomesText;
};

const Failing kFailures[] = {
    {"own exception", [] { throw ETooMuchInstances(kTextTooMuchInstances); }, true},
    {"failed allocation", [] { throw std::bad_alloc(); }, true},
    {"programming error", [] { throw std::out_of_range("index"); }, false},
};

// Runs one consumer of a function whose build fails; the text it gives, or "thrown".
using Consumer = std::function<std::string(TKoMathTreeFunction&)>;

std::string Outcome(const Failing& failing, const Consumer& consume) {
  TKoMathTreeFunction f;
  f.AddVariable("x");
  f.SetCreator(std::make_unique<TThrowingCreator>(&f, failing.fail));
  try {
    return consume(f);
  } catch (const std::out_of_range&) {
    return "thrown";
  }
}

std::string Derivative(TKoMathTreeFunction& f) {
  TKoMathTreeFunction g;
  return FormDerivative(g, f, "x", 1).ErrorText;
}

std::string Antiderivative(TKoMathTreeFunction& f) {
  TKoMathTreeFunction g;
  return FormAntiderivative(g, f, "x").ErrorText;
}

template <class Method>
std::string Numeric(TKoMathTreeFunction& f) {
  Method n(&f);
  n.OtherNotOwned = true;
  if constexpr (std::is_base_of_v<TKoMathIntervalNumFunction, Method>) {
    n.IntervalFrom = 0;
    n.IntervalTo = 1;
    n.SetIntervalStep(0.5L);
  }
  n.SetRunningVar("x");
  n.Calculate();
  return n.GetErrorText();
}

TEST(Failures, OnlyTheProgramsOwnBecomeTexts) {
  const std::pair<const char*, Consumer> consumers[] = {
      {"derivative", Derivative},
      {"antiderivative", Antiderivative},
      {"numeric derivative", Numeric<TKoMathDiffNumFunction>},
      {"Newton", Numeric<TKoMathNewtonFunction>},
      {"integral", Numeric<TKoMathIntgNumFunction>},
      {"arc length", Numeric<TKoMathLenNumFunction>},
      {"evaluation",
       [](TKoMathTreeFunction& f) {
         f.Calculate();
         return f.GetErrorText().empty() ? std::string("no text") : f.GetErrorText();
       }},
  };
  const std::int32_t before = TKoOperatorNode::GetInstanceCount();
  for (const Failing& failing : kFailures) {
    for (const auto& [name, consume] : consumers) {
      const std::string outcome = Outcome(failing, consume);
      if (failing.becomesText) {
        EXPECT_NE(outcome, "thrown") << failing.name << " in " << name;
      } else {
        EXPECT_EQ(outcome, "thrown") << failing.name << " in " << name;
      }
    }
  }
  EXPECT_EQ(TKoOperatorNode::GetInstanceCount(), before);
}

}  // namespace
