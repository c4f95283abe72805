// A compiled program must give the tree's own value bit for bit, and fail exactly where
// the tree reports an error text: over the terms of the fuzz corpus and random trees.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"

namespace {

const long double kPoints[] = {0,      1,   -1,     0.5L,  -2.5L, 3.7L,   1e-300L, -1e-300L,
                               1e300L, 710, -11400, 12000, 1755,  0.999L, 1.0001L, 1e4000L};

struct Tally {
  int Compared = 0;
  int Failed = 0;
};

// Compares program and tree with the variable x at each point; other variables keep their values.
void ExpectSameAsTree(TKoOperatorNode* tree, TKoSingleVariable* x, const std::string& label,
                      Tally& tally) {
  TKoEvalProgram program;
  if (!program.Compile(tree)) return;
  for (const long double point : kPoints) {
    if (x) x->SetAsExtended(point);
    long double expected = 0;
    tree->Calculate(&expected);
    const bool treeFailed = !tree->ErrorText.empty();
    long double actual = 0;
    const bool ran = program.Run(actual);
    ++tally.Compared;
    ASSERT_EQ(ran, !treeFailed) << label << " at " << point << ": " << tree->ErrorText.str();
    if (!ran) {
      ++tally.Failed;
      continue;
    }
    // Bit for bit: the ten bytes of the extended value.
    ASSERT_EQ(std::memcmp(&actual, &expected, 10), 0)
        << label << " at " << point << ": " << actual << " vs " << expected;
  }
}

std::vector<std::string> Arguments(const std::string& text) {
  std::vector<std::string> args;
  std::string current;
  for (const char c : text) {
    if (c == '\n') {
      args.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) args.push_back(current);
  return args;
}

TEST(Program, SameAsTheTreeOverTheCorpus) {
  Tally tally;
  int terms = 0;
  for (const char* folder : {"/run", "/term"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(TCALC_CORPUS) + folder)) {
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
      const TKoMathCommandLine cmd(folder == std::string("/run") ? Arguments(text)
                                                                 : std::vector<std::string>{text});
      TKoMathTreeFunction f;
      for (std::int32_t i = 0; i < cmd.VarCount(); ++i) {
        f.AddVariable(cmd.VarName(i));
        long double v = 0;
        if (cmd.VarValue(i, v)) f.SetVarValue(cmd.VarName(i), v);
      }
      f.AddVariable(cmd.XVar);
      auto parser = std::make_unique<TKoMathParser>(&f);
      parser->SetFunctionString(cmd.FuncStr);
      parser->Execute();
      if (!f.GetTree()) continue;
      ++terms;
      TKoVarDepot& depot = f.GetVarDepot();
      const std::int32_t index = depot.IndexOfVariable(cmd.XVar);
      ExpectSameAsTree(f.GetTree(), index < 0 ? nullptr : depot.VariableAt(index), cmd.FuncStr,
                       tally);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(terms, 500);
  // Both kinds of outcome are met.
  EXPECT_GT(tally.Failed, 100);
  EXPECT_GT(tally.Compared - tally.Failed, 1000);
}

// Random trees over every code that evaluates, with leaves that provoke the failures.
class RandomTrees {
 public:
  explicit RandomTrees(TKoVarDepot& depot) : Depot(depot) {}

  TKoNodePtr Tree(int depth) {
    const long double constants[] = {0, 1, -1, 2, 0.5L, 10, -3, 1e-5L, 1e308L, 4000, 1e-4000L};
    if (depth == 0 || Pick(4) == 0) {
      if (Pick(2) == 0) return TKoOperatorNode::CreateVariable(dtExtended, "x", &Depot);
      return TKoOperatorNode::CreateConstant(constants[Pick(std::size(constants))]);
    }
    static const TOperation codes[] = {
        opSum,     opProduct, opQuotient, opPower, opNegation, opExp,      opLn,   opLog,
        opLd,      opSqr,     opSqrt,     opSin,   opCos,      opTan,      opCot,  opArcSin,
        opArcCos,  opArcTan,  opArcCot,   opSinh,  opCosh,     opTanh,     opCoth, opArcSinh,
        opArcCosh, opArcTanh, opArcCoth,  opTrunc, opRound,    opFrac,     opSgn,  opAbs,
        opZero,    opHeav,    opCeil,     opFloor, opPhase,    opFactorial};
    const TOperation code = codes[Pick(std::size(codes))];
    TKoNodePtr node = TKoOperatorNode::Create(dtExtended, code);
    const std::size_t operands = IsChainCode(code) ? 1 + Pick(4) : 1;
    for (std::size_t i = 0; i < operands; ++i) node->AddChild(Tree(depth - 1));
    return node;
  }

 private:
  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(Random);
  }

  TKoVarDepot& Depot;
  std::mt19937 Random{20261209};
};

TEST(Program, SameAsTheTreeOverRandomTrees) {
  TKoVarDepot depot;
  RandomTrees trees(depot);
  TKoSingleVariable* x = depot.FindOrAdd("x", dtExtended);
  Tally tally;
  for (int i = 0; i < 4000; ++i) {
    TKoNodePtr tree = trees.Tree(1 + i % 6);
    ExpectSameAsTree(tree.get(), x, "random tree " + std::to_string(i), tally);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(tally.Failed, 1000);
  EXPECT_GT(tally.Compared - tally.Failed, 10000);
}

TEST(Program, TreesWithoutAProgram) {
  TKoVarDepot depot;
  TKoEvalProgram program;
  // rnd would draw again when a failure sends the caller to the tree.
  TKoNodePtr random = TKoOperatorNode::Create(dtExtended, opRnd);
  random->AddChild(TKoOperatorNode::CreateVariable(dtExtended, "x", &depot));
  EXPECT_FALSE(program.Compile(random.get()));
  EXPECT_TRUE(program.Empty());
  // Operators without operands, and codes without a routine.
  TKoNodePtr empty = TKoOperatorNode::Create(dtExtended, opSum);
  EXPECT_FALSE(program.Compile(empty.get()));
  TKoNodePtr reserved = TKoOperatorNode::Create(dtExtended, opReserved);
  reserved->AddChild(TKoOperatorNode::CreateConstant(1));
  reserved->AddChild(TKoOperatorNode::CreateConstant(2));
  EXPECT_FALSE(program.Compile(reserved.get()));
  // A leaf alone is its value.
  TKoNodePtr leaf = TKoOperatorNode::CreateConstant(std::numeric_limits<long double>::infinity());
  long double v = 0;
  ASSERT_TRUE(program.Compile(leaf.get()));
  EXPECT_TRUE(program.Run(v));
  EXPECT_EQ(v, std::numeric_limits<long double>::infinity());
}

}  // namespace
