// The leaves of a term for the evaluation in interval arithmetic, as the command line gives
// them.
#pragma once

#include <vector>

#include "MathDigs/MathDigs.hpp"
#include "MathPars/MathPars.hpp"

class TKoMathCommandLine;
class TKoMathTreeFunction;

// The leaves as the command line gives them: the digits of each value as written, Pi and e
// as the constants, the value of a constant term from its tree (kept in terms, which are
// freed before f); a name without a value keeps the one it has.
TKoDigitsLeaves LeavesOf(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                         TKoNumberTexts& numbers, std::vector<TKoNodePtr>& terms);

// Parses f's term and records its numbers as written; the extended evaluation runs as well
// (it tells the texts of a term that does not parse), and rnd's sequence starts again
// where it stood.
void ParseRecording(TKoMathTreeFunction& f, TKoNumberTexts& numbers);
