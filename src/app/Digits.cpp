// The value and Newton's root to any number of digits (--digits), and the note of the modes
// that compute with the extended type all the same.
#include "app/Digits.hpp"

#include <cstdio>
#include <string>

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

}  // namespace

TKoDigitsLeaves LeavesOf(const TKoMathCommandLine& cmd, const TKoNumberTexts& numbers) {
  TKoDigitsLeaves leaves;
  leaves.Numbers = &numbers;
  for (const TKoCmdlVariable& variable : cmd.Variables) {
    const std::string upper = UpperCase(variable.Name);
    if (!variable.Value) {
      leaves.Variables.try_emplace(upper);
      continue;
    }
    TKoDigitsSource source;
    if (!variable.Text.empty()) {
      source = {TKoDigitsSource::kText, variable.Text};
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
  const TKoDigitsOutcome outcome =
      ValueToDigits(f.GetTree(), LeavesOf(cmd, numbers), DigitsWanted());
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
  const TKoDigitsOutcome root =
      RootToDigits(f.GetTree(), formed ? g.GetTree() : nullptr, LeavesOf(cmd, numbers),
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
