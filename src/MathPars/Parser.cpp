#include "MathPars/MathPars.hpp"

namespace {

// errorPos, when given, receives the tokenizer's error position if tokenizing fails.
TKoNodePtr Parse(const std::string& text, TKoOpNodeArray args, TKoVarDepot* depot,
                 std::int32_t* errorPos = nullptr) {
  // The builder exists before the tokens do: from the list's creation on, Build
  // answers for its nodes.
  TKoRealMathTreeBuilder builder;
  TKoMathRealTokenizer tokenizer(depot);
  TKoTokenList tokens;
  try {
    tokens = tokenizer.TokenizeWithArgs(text, std::move(args));
  } catch (...) {
    if (errorPos) *errorPos = tokenizer.ErrorPos;
    throw;
  }
  return builder.Build(tokens);
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
