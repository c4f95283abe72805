// Adaptive quadrature to the precision of the extended type, independent of terms: a
// global adaptive Gauss-Kronrod rule, and toward points where the integrand runs off or
// has no value a geometric approach with extrapolation.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The integrand: false where it has no value at x.
using TIntegrand = std::function<bool(long double x, long double& y)>;

enum class TQuadratureOutcome : std::uint8_t {
  Value,      // Value holds the integral, Error its estimated absolute error
  Diverges,   // the integral grows without bound toward a point
  Undefined,  // the integrand has no value on a part of the interval
  Failed      // no reliable value within the limits of work
};

struct TQuadratureResult {
  long double Value = 0;
  long double Error = 0;
  TQuadratureOutcome Outcome = TQuadratureOutcome::Value;
  std::int64_t Evaluations = 0;
};

// The integral of f over [points.front(), points.back()] (at least two ascending points);
// the points between are places where f may jump, kink or run off, and the pieces between
// them are integrated each on its own. largestPiece > 0 cuts the pieces further into
// pieces no wider than it. cost is the work of one call of f in evaluations of a term: the
// work allowed is the same whatever one call costs.
TQuadratureResult IntegrateAdaptively(const TIntegrand& f, const std::vector<long double>& points,
                                      long double largestPiece = 0, std::int64_t cost = 1);

// The 21-point Kronrod rule on [-1, 1]: its nodes in [0, 1] (each but 0 stands for itself
// and its negative) with their weights, and the weights of the 10-point Gauss rule, whose
// nodes are the odd-numbered ones.
struct TKronrodRule {
  std::array<long double, 11> Nodes;
  std::array<long double, 11> Weights;
  std::array<long double, 5> GaussWeights;
};
const TKronrodRule& KronrodRule();

// The limit of a sequence by Wynn's epsilon algorithm: push the sequence's members in order;
// Estimate and Error then hold the best extrapolation and its error estimate.
class TEpsilonExtrapolation {
 public:
  void Push(long double s);
  long double Estimate() const { return Best; }
  long double Error() const { return BestError; }
  std::size_t Count() const { return Members; }

 private:
  std::vector<long double> Sequence;  // the last members, at most a table's length
  std::size_t Members = 0;
  long double Best = 0;
  long double BestError = 0;
};
