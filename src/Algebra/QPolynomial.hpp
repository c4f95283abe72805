// Polynomials in one variable with exact rational coefficients, and the numeric roots of
// polynomials: what the integration of rational functions is built on.
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

#include "Algebra/Algebra.hpp"

namespace algebra {

// c0, c1, ..., cn; never empty, no zero highest coefficient but for the zero polynomial {0}.
using QPolynomial = std::vector<Rational>;

void Trim(QPolynomial& p);
std::size_t Degree(const QPolynomial& p);
bool IsZero(const QPolynomial& p);
QPolynomial Sum(QPolynomial a, const QPolynomial& b);
QPolynomial Difference(QPolynomial a, const QPolynomial& b);
QPolynomial Product(const QPolynomial& a, const QPolynomial& b);
QPolynomial Scaled(QPolynomial p, const Rational& f);
QPolynomial Derivative(const QPolynomial& p);
QPolynomial Raised(const QPolynomial& p, std::size_t n);
// The antiderivative without a constant term.
QPolynomial Integral(const QPolynomial& p);
// The polynomial divided by its highest coefficient.
QPolynomial Monic(const QPolynomial& p);
// a = quotient*b + remainder, deg remainder < deg b; b must not be 0.
void Divide(const QPolynomial& a, const QPolynomial& b, QPolynomial& quotient,
            QPolynomial& remainder);
// The monic greatest common divisor ({1} where the two are coprime).
QPolynomial Gcd(QPolynomial a, QPolynomial b);
// s and t with s*a + t*b = c and deg s < deg b, where gcd(a, b) divides c.
bool SolveBezout(const QPolynomial& a, const QPolynomial& b, const QPolynomial& c, QPolynomial& s,
                 QPolynomial& t);
// The square-free factors: p = c * f[0]^1 * f[1]^2 * ..., each monic (some may be {1}).
std::vector<QPolynomial> SquareFree(const QPolynomial& p);
Rational ValueAt(const QPolynomial& p, const Rational& x);
// The largest number of bits of a coefficient's numerator or denominator.
std::size_t Bits(const QPolynomial& p);

// The nearest extended values of the coefficients.
std::vector<long double> Rounded(const QPolynomial& p);
// The exact value of an extended number.
Rational ExactOf(long double v);

// All complex roots of a polynomial with a nonzero highest coefficient, each as often as
// its multiplicity (Aberth's simultaneous iteration, each root then refined by Newton's
// method); none where the iteration does not settle.
std::optional<std::vector<std::complex<long double>>> Roots(const std::vector<long double>& p);

// The fraction with denominator up to largest nearest to v (a convergent of its continued
// fraction); none where none lies within a relative 1e-9.
std::optional<Rational> NearFraction(long double v, long largest);

}  // namespace algebra

namespace algebra {

// The polynomial of a term in the symbol of the upper-case key, with exact coefficients;
// none where the term is no polynomial in it (or a coefficient is a float or holds another
// symbol).
std::optional<QPolynomial> PolynomialIn(const Expr& e, const std::string& key);
// The term of a polynomial in the variable.
Expr FromQPolynomial(const QPolynomial& p, const Expr& variable);

}  // namespace algebra
