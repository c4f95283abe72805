// The value and Newton's root to any number of digits (--digits), and the note of the modes
// that compute with the extended type all the same.
#include "app/Digits.hpp"

#include <cstdio>
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
