// Terms as the benchmarks need them: parsed as the driver parses them, and their size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

// F as the driver makes it: the variable x declared, the parser attached and run.
inline void ParseAsDriver(TKoMathTreeFunction& f, const std::string& term) {
  f.AddVariable("x");
  auto parser = std::make_unique<TKoMathParser>(&f);
  parser->SetFunctionString(term);
  TKoMathParser* p = parser.get();
  f.SetCreator(std::move(parser));
  p->Execute();
}

// The nodes of a tree.
inline std::int32_t Nodes(const TKoOperatorNode* node) {
  std::int32_t n = 1;
  for (std::int32_t i = 0; i < node->ChildCount(); ++i) n += Nodes(node->Child(i));
  return n;
}
