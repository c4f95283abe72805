// The value and Newton's root to any number of digits (--digits), and the note of the modes
// that compute with the extended type all the same.
#include "app/Digits.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "MathDiff/MathDiff.hpp"
#include "MathDigs/MathDigs.hpp"
#include "MathFunc/MathFunc.hpp"
#include "MathPars/MathPars.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"

namespace {

constexpr const char* kTextApproximationOf = "Der angen\344herte Wert von ";
constexpr const char* kTextAmountsTo = " betr\344gt:";
constexpr const char* kTextSeventeenDigits =
    "Hinweis: Dieser Modus rechnet mit 17 Stellen, nicht mit --digits.";

// The tree of a constant term that gave a variable its value, over f's variables Pi and e,
// its numbers recorded as written; none where it does not parse (then the extended value).
const TKoOperatorNode* ParsedTermValue(const std::string& term, TKoMathTreeFunction& f,
                                       TKoNumberTexts& numbers, std::vector<TKoNodePtr>& terms) {
  RecordNumberTexts(&numbers);
  try {
    terms.push_back(ParseTerm(term, f.VarDepot.get()));
  } catch (const Exception&) {
    RecordNumberTexts(nullptr);
    return nullptr;
  }
  RecordNumberTexts(nullptr);
  return terms.back().get();
}

}  // namespace

TKoDigitsLeaves LeavesOf(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                         TKoNumberTexts& numbers, std::vector<TKoNodePtr>& terms) {
  TKoDigitsLeaves leaves;
  leaves.Numbers = &numbers;
  // The reader puts the constants Pi and e first.
  constexpr std::size_t kConstants = 2;
  for (std::size_t i = 0; i < cmd.Variables.size(); ++i) {
    const TKoCmdlVariable& variable = cmd.Variables[i];
    const std::string upper = UpperCase(variable.Name);
    if (!variable.Value) {
      leaves.Variables.try_emplace(upper);
      continue;
    }
    TKoDigitsSource source;
    if (!variable.Text.empty()) {
      source = {TKoDigitsSource::kText, variable.Text};
    } else if (i >= kConstants) {
      // the value of a term such as pi/2: from its tree, else the extended value it holds
      source = {TKoDigitsSource::kTerm, {}, ParsedTermValue(variable.Term, f, numbers, terms)};
      if (!source.Term) {
        leaves.Variables.erase(upper);
        continue;
      }
    } else {
      source.Kind = upper == "PI" ? TKoDigitsSource::kConstantPi : TKoDigitsSource::kConstantE;
    }
    leaves.Variables[upper] = source;
  }
  return leaves;
}

void ParseRecording(TKoMathTreeFunction& f, TKoNumberTexts& numbers) {
  const std::uint64_t draws = RandomDraws();
  RecordNumberTexts(&numbers);
  f.Calculate();
  RecordNumberTexts(nullptr);
  ReplayRandomSequence(draws);
}

namespace {

void WriteValueLine(const std::string& text, bool failed) {
  if (failed) NoteErrorLine();
  WriteLine(text);
}

constexpr const char* kTextInInterval = " im Intervall [";
constexpr const char* kTextIntervalEnd = "] betr\344gt:";
constexpr const char* kTextThe = "Die ";
constexpr const char* kTextDerivativeOf = ". Ableitung von ";
constexpr const char* kTextAtPoint = " an der Stelle ";
constexpr const char* kTextIs = " ist:";

// A number the program made itself, exact in binary as it stands: a whole number or a
// short binary fraction (0.5).
bool ExactAsMade(long double v) {
  constexpr long double kLargestWhole = 0x1p60L;
  constexpr long double kFinestStep = 0x1p10L;
  return std::fabs(v) < kLargestWhole && std::floor(v * kFinestStep) == v * kFinestStep;
}

// The numbers of a tree formed from f's (a derivative): each copied number gets the text
// of f's number of the same value; false where a number is neither such a copy nor exact as
// made (one computed from others: its digits beyond the extended ones are lost).
bool CopiedNumberTexts(const TKoOperatorNode* node,
                       const std::map<long double, std::string>& byValue, TKoNumberTexts& texts) {
  if (!node) return true;
  if (node->Operation == opConstant && !texts.contains(node)) {
    const long double v = node->LeafValue();
    const auto text = byValue.find(v);
    if (text != byValue.end() && !text->second.empty()) {
      texts[node] = text->second;
    } else if (!ExactAsMade(v)) {
      return false;
    }
  }
  for (const TKoOperatorNode* child : node->Children)
    if (!CopiedNumberTexts(child, byValue, texts)) return false;
  return true;
}

// f's number texts extended by those of derived, a tree formed from f; false where some
// number of derived has no certain digits.
bool DerivedNumberTexts(const TKoNumberTexts& numbers, const TKoOperatorNode* derived,
                        TKoNumberTexts& texts) {
  std::map<long double, std::string> byValue;
  for (const auto& [node, text] : numbers) {
    const auto [at, fresh] = byValue.try_emplace(node->LeafValue(), text);
    // Two texts of one extended value: neither can be told for a copy.
    if (!fresh && at->second != text) at->second.clear();
  }
  texts = numbers;
  return CopiedNumberTexts(derived, byValue, texts);
}

// The derivative of f of the level, as formed, not simplified: simplification would fold
// numbers into extended ones.
bool FormRawDerivative(TKoMathTreeFunction& g, TKoMathTreeFunction& f, const std::string& var,
                       std::int32_t level) {
  try {
    const TKoCalculusCreator& differencer = FormDerivative(g, f, var, level);
    return differencer.ErrorText.empty() && g.GetTree();
  } catch (const Exception&) {
    return false;
  }
}

// More room for nodes while it lives: the levels of a derivative formed as they come.
constexpr std::int32_t kRawLevelNodes = 100000;
class TNodeRoom {
 public:
  TNodeRoom() : Limit(TKoOperatorNode::GetMaxInstances()) {
    TKoOperatorNode::SetMaxInstances(std::max(Limit, kRawLevelNodes));
  }
  ~TNodeRoom() { TKoOperatorNode::SetMaxInstances(Limit); }
  TNodeRoom(const TNodeRoom&) = delete;
  TNodeRoom& operator=(const TNodeRoom&) = delete;
  TNodeRoom(TNodeRoom&&) = delete;
  TNodeRoom& operator=(TNodeRoom&&) = delete;

 private:
  std::int32_t Limit;
};

// The n-th derivative level by level from the term itself: neither simplified nor shortened
// by the repeats of the levels, which fold numbers into extended ones. No tree for a
// derivative of 0; nullopt where a level fails or the levels outgrow the room for nodes.
std::optional<TKoNodePtr> RawLevels(TKoMathTreeFunction& f, const std::string& var,
                                    std::int32_t level, bool& tooLarge) {
  tooLarge = false;
  try {
    TKoNodePtr now;
    const TKoOperatorNode* from = f.GetTree();
    for (std::int32_t i = 0; i < level && from; ++i) {
      now = DeriveTree(from, var, &f.GetVarDepot());
      from = now.get();
    }
    return now;
  } catch (const ETooMuchInstances&) {
    tooLarge = true;
    return std::nullopt;
  } catch (const Exception&) {
    return std::nullopt;
  }
}

// Whether the term may jump or kink within the differences' reach of x.
bool SmoothAround(TKoMathTreeFunction& f, const std::string& var, long double x,
                  std::int32_t level) {
  const long double reach = LargestDifferenceStep(x) * static_cast<long double>(level);
  TKoMathPointValues values(&f);
  values.SetRunningVar(var);
  values.Calculate();
  bool complete = true;
  const std::vector<long double> points =
      BreakPoints(f.GetTree(), var, values.RunningSlot(), x - reach, x + reach, &complete);
  return complete && points.empty() && values.RunningSlot();
}

std::vector<TKoDigitsBreak> DigitsBreaks(TKoMathTreeFunction& function, const std::string& var,
                                         long double from, long double to, bool& complete) {
  TKoMathPointValues values(&function);
  values.SetRunningVar(var);
  values.Calculate();
  std::vector<TKoDigitsBreak> breaks;
  bool all = true;
  for (const TKoBreakCause& c :
       BreakCauses(function.GetTree(), var, values.RunningSlot(), from, to, &all))
    breaks.push_back({c.Point, c.Argument, c.Target, c.OfPi});
  complete = complete && all;
  return breaks;
}

// Whether a value's text lies within the normal range of the extended type.
bool WithinExtendedRange(const std::string& text) {
  constexpr long kLargestExponent = 4931;
  const std::size_t e = text.find('E');
  if (e == std::string::npos) return true;
  const long exponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
  return exponent >= -kLargestExponent && exponent <= kLargestExponent;
}

// The bound's text as the command line gives it.
std::string VariableText(const TKoMathCommandLine& cmd, const std::string& name) {
  std::string text;
  for (const TKoCmdlVariable& variable : cmd.Variables)
    if (UpperCase(variable.Name) == UpperCase(name))
      text = !variable.Value ? "" : variable.Text.empty() ? variable.Term : variable.Text;
  return text;
}

}  // namespace

[[gnu::cold]] void RunEvaluationToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  TKoNumberTexts numbers;
  ParseRecording(f, numbers);
  if (!f.GetTree()) {
    const bool failed = !f.GetErrorText().empty();
    return WriteValueLine(failed ? f.GetErrorText() : ValueToText(f.Value), failed);
  }
  std::vector<TKoNodePtr> terms;
  const TKoDigitsOutcome outcome =
      ValueToDigits(f.GetTree(), LeavesOf(cmd, f, numbers, terms), DigitsWanted());
  if (!outcome.Failed && cmd.ExtOutput) {
    WriteLine(f.FunctionString());
    WriteLine(" =");
  }
  WriteValueLine(outcome.Text, outcome.Failed);
}

[[gnu::cold]] void RunNewtonToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  TKoNumberTexts numbers;
  ParseRecording(f, numbers);
  TKoMathNewtonFunction n(&f);
  n.OtherNotOwned = true;
  n.SetRunningVar(cmd.XVar);
  n.SetVarValue(cmd.XVar, f.GetVarValue(cmd.XVar));
  n.Calculate();
  if (cmd.ExtOutput) WriteLine(kTextApproximationOf + f.FunctionString() + kTextAmountsTo);
  if (!n.GetErrorText().empty()) return WriteValueLine(n.GetErrorText(), true);
  if (!f.GetTree()) return WriteLine(ValueToText(n.Value));
  // The slope from the symbolic derivative where it can be formed.
  TKoMathTreeFunction g;
  bool formed = false;
  try {
    const TKoCalculusCreator& differencer = FormDerivative(g, f, cmd.XVar, 1);
    formed = differencer.ErrorText.empty() && g.GetTree() && SimplifiedWithinLimit(g);
  } catch (const Exception&) {
    formed = false;
  }
  std::vector<TKoNodePtr> terms;
  const TKoDigitsOutcome root =
      RootToDigits(f.GetTree(), formed ? g.GetTree() : nullptr, LeavesOf(cmd, f, numbers, terms),
                   UpperCase(cmd.XVar), n.Value, DigitsWanted());
  if (!root.Failed) return WriteLine(root.Text);
  // The iteration did not settle to the digits asked for: the extended root, with a note.
  WriteLine(ValueToText(n.Value));
  WriteSeventeenDigitsNote();
}

[[gnu::cold]] void WriteSeventeenDigitsNote() {
  std::fflush(stdout);
  std::fputs((ToConsole(kTextSeventeenDigits) + "\n").c_str(), stderr);
}

void RunIntervalToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, bool arcLength,
                         const std::string& title, const std::string& separator) {
  TKoNumberTexts numbers;
  ParseRecording(f, numbers);
  // The slope of the arc length from the derivative as formed.
  TKoMathTreeFunction g;
  const bool formed = arcLength && f.GetTree() && FormRawDerivative(g, f, cmd.XVar, 1);
  // The extended value first: its failures are the texts of --accurate, and it is the
  // scale and a check of the digits.
  TKoMathAccurateFunction n(&f);
  n.OtherNotOwned = true;
  n.IntervalFrom = f.GetVarValue(cmd.XVar);
  n.IntervalTo = cmd.ToValue;
  n.SetLargestPiece(cmd.Intervall, cmd.IntervallGiven);
  n.ArcLength = arcLength;
  n.Derivative = formed ? &g : nullptr;
  n.SetRunningVar(cmd.XVar);
  n.Calculate();
  if (cmd.ExtOutput)
    WriteLine(title + f.FunctionString() + kTextInInterval + ValueToText(n.IntervalFrom) +
              separator + ValueToText(cmd.ToValue) + kTextIntervalEnd);
  if (!n.GetErrorText().empty()) return WriteValueLine(n.GetErrorText(), true);
  TKoDigitsIntegral task;
  TKoNumberTexts texts = numbers;
  bool certain =
      f.GetTree() && (!arcLength || (formed && DerivedNumberTexts(numbers, g.GetTree(), texts)));
  if (certain) {
    task.Term = arcLength ? g.GetTree() : f.GetTree();
    task.ArcLength = arcLength;
    task.From = n.IntervalFrom;
    task.To = n.IntervalTo;
    task.FromText = VariableText(cmd, cmd.XVar);
    task.ToText = cmd.ToValueGiven ? cmd.ToText : "";
    task.Estimate = n.Value;
    task.EstimateError = n.ErrorEstimate;
    task.Breaks = DigitsBreaks(f, cmd.XVar, task.From, task.To, certain);
    if (arcLength) {
      const std::vector<TKoDigitsBreak> more =
          DigitsBreaks(g, cmd.XVar, task.From, task.To, certain);
      task.Breaks.insert(task.Breaks.end(), more.begin(), more.end());
    }
  }
  std::vector<TKoNodePtr> terms;
  TKoDigitsLeaves leaves = LeavesOf(cmd, f, texts, terms);
  const TKoDigitsOutcome outcome =
      certain ? IntegralToDigits(task, leaves, UpperCase(cmd.XVar), DigitsWanted())
              : TKoDigitsOutcome{kTextDigitsNotDecidable, true};
  WriteValueLine(outcome.Text, outcome.Failed);
}

// The value of f's derivative of the command line's level at the point to digits digits.
TKoDigitsOutcome DerivativeToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                                    const TKoNumberTexts& numbers, std::int32_t digits) {
  TKoDigitsOutcome refused{kTextDigitsNotDecidable, true};
  TKoNumberTexts own = numbers;
  std::vector<TKoNodePtr> terms;
  const TKoDigitsLeaves leaves = LeavesOf(cmd, f, own, terms);
  // The term must have a value at the point, as the quotients assume.
  if (ValueToDigits(f.GetTree(), leaves, digits).Failed) return refused;
  TKoNumberTexts texts;
  {
    const TNodeRoom room;
    bool tooLarge = false;
    const std::optional<TKoNodePtr> raw = RawLevels(f, cmd.XVar, cmd.DiffLevel, tooLarge);
    if (raw && !*raw) return {"0", false};
    if (raw && DerivedNumberTexts(numbers, raw->get(), texts))
      return ValueToDigits(raw->get(), LeavesOf(cmd, f, texts, terms), digits);
    texts.clear();
    // Too large to form: differences of the term itself where it is smooth around the point.
    if (tooLarge && SmoothAround(f, cmd.XVar, f.GetVarValue(cmd.XVar), cmd.DiffLevel))
      return DerivativeByDifferences(f.GetTree(), leaves, UpperCase(cmd.XVar), cmd.DiffLevel,
                                     digits);
  }
  // Beyond the nodes allowed: the derivative as \d forms it, where its numbers are certain.
  TKoMathTreeFunction g;
  if (!FormRawDerivative(g, f, cmd.XVar, cmd.DiffLevel) ||
      !DerivedNumberTexts(numbers, g.GetTree(), texts))
    return refused;
  return ValueToDigits(g.GetTree(), LeavesOf(cmd, f, texts, terms), digits);
}

// The n-th derivative at the point: the quotients first, whose failures stand as they are;
// then the symbolic derivative as formed, evaluated to digits digits. Where that cannot be
// made certain: with toDigits the refusal, else the quotients' value.
void RunDerivativeToDigits(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f,
                           std::int32_t digits, bool toDigits) {
  TKoNumberTexts numbers;
  ParseRecording(f, numbers);
  const long double x = f.GetVarValue(cmd.XVar);
  TKoMathDiffNumFunction n(&f);
  n.OtherNotOwned = true;
  n.SetDiffLevel(cmd.DiffLevel);
  n.SetRunningVar(cmd.XVar);
  n.Calculate();
  if (cmd.ExtOutput)
    WriteLine(kTextThe + std::to_string(cmd.DiffLevel) + kTextDerivativeOf + f.FunctionString() +
              kTextAtPoint + ValueToText(x) + kTextIs);
  if (!n.GetErrorText().empty()) return WriteValueLine(n.GetErrorText(), true);
  TKoDigitsOutcome outcome{kTextDigitsNotDecidable, true};
  if (f.GetTree()) outcome = DerivativeToDigits(cmd, f, numbers, digits);
  // In the extended mode a value beyond the extended type's normal range is no value to print
  // with 17 digits: the quotients' as before.
  if (!outcome.Failed && (toDigits || WithinExtendedRange(outcome.Text)))
    return WriteLine(outcome.Text);
  if (toDigits) return WriteValueLine(kTextDigitsNotDecidable, true);
  WriteLine(ValueToText(n.Value));
}
