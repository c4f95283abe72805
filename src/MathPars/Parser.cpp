#include <new>

#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

// Where tokenizing fails, errorPos gets the position; failurePos gets it too, or the
// position where building the tree failed.
TKoNodePtr Parse(const std::string& text, TKoOpNodeArray args, TKoVarDepot* depot,
                 std::int32_t* errorPos = nullptr, std::int32_t* failurePos = nullptr) {
  // The builder exists before the tokens do: from the list's creation on, Build
  // answers for its nodes.
  TKoRealMathTreeBuilder builder;
  TKoMathRealTokenizer tokenizer(depot);
  TKoTokenList tokens;
  try {
    tokens = tokenizer.TokenizeWithArgs(text, std::move(args));
  } catch (...) {
    if (errorPos) *errorPos = tokenizer.ErrorPos;
    if (failurePos) *failurePos = tokenizer.ErrorPos;
    throw;
  }
  try {
    return builder.Build(tokens);
  } catch (...) {
    if (failurePos)
      *failurePos = builder.ErrorPos == TKoAbstractMathTreeBuilder::kErrorAtEnd
                        ? static_cast<std::int32_t>(tokenizer.Text.size()) + 1
                        : builder.ErrorPos;
    throw;
  }
}

}  // namespace

TKoNodePtr ParseTerm(const std::string& text, TKoVarDepot* depot) {
  return Parse(text, TKoOpNodeArray(), depot);
}

TKoNodePtr ParseTemplate(const std::string& text, TKoNodePtr arg0, TKoNodePtr arg1,
                         TKoVarDepot* depot, TDataType /*type*/) {
  TKoOpNodeArray args;
  args[0] = std::move(arg0);
  args[1] = std::move(arg1);
  return Parse(text, std::move(args), depot);
}

TKoMathTreeFunction* TKoMathParser::Target() const {
  return dynamic_cast<TKoMathTreeFunction*>(MathFunction);
}

void TKoMathParser::Execute() {
  TKoMathTreeFunction* target = Target();
  try {
    if (!target) throw EParserInternalError(kTextNoTreeFunction);
    ReasonPos = 0;
    target->SetTree(
        Parse(FunctionString, TKoOpNodeArray(), target->VarDepot.get(), &ErrorPos, &ReasonPos));
    ErrorText.clear();
    Reason.clear();
  } catch (const Exception& e) {
    // The detailed messages are for ParseTerm's callers and the explanation on standard
    // error; the user's result line is one text.
    ErrorText = kTextSyntaxError;
    Reason = e.message();
    if (target) target->SetTree(nullptr);
  } catch (const std::bad_alloc&) {
    ErrorText = kTextSyntaxError;
    if (target) target->SetTree(nullptr);
  }
}

std::unique_ptr<TKoFunctionCreator> TKoMathParser::Clone(TKoMathFunction* target) const {
  auto parser = std::make_unique<TKoMathParser>(target);
  parser->NotOwned = NotOwned;
  parser->FunctionString = FunctionString;
  return parser;
}

void TKoMathParser::SetFunctionString(const std::string& s) {
  if (TKoMathTreeFunction* target = Target()) target->SetTree(nullptr);
  FunctionString = s;
  if (MathFunction) MathFunction->SetErrorText("");
}
