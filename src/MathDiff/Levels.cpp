// Higher derivatives: the levels run one after another, but end early where the sequence
// of trees is known to go on in a fixed way.
//
// Without simplification between levels a tree often grows only by a fixed stack of nodes
// on top of a part that repeats: sin(x) -> cos(x) -> -(sin(x)) -> -(cos(x)) -> -(-(sin(x))).
// The nodes of such a stack (negations, products and quotients whose one dependent child is
// the one the stack goes on through) derive to themselves over the derivative of that child,
// so the derivative of the whole tree is the stack over the derivative of the part below it,
// the core. When a core equals an earlier one, every later tree is known: the core repeats
// with the period and the stack grows by the same pieces per period.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Algebra/Algebra.hpp"
#include "MathDiff/MathDiff.hpp"
#include "MathDiff/Rules.hpp"
#include "MathPars/MathPars.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

using Node = TKoOperatorNode;
using nodes::Is;

constexpr std::int32_t kHole = -1;

// One node of a tree as the rules see it: code, number of children (kHole for the place
// of the core below a stack piece), a constant's value bits and a variable.
struct TShapeItem {
  TOperation Operation = opNone;
  std::uint16_t ValueExponent = 0;
  std::int32_t Children = 0;
  std::uint64_t ValueMantissa = 0;
  const TKoSingleVariable* Variable = nullptr;
  bool operator==(const TShapeItem&) const = default;
};

using TShape = std::vector<TShapeItem>;

TShapeItem ItemOf(const Node* node) {
  TShapeItem item;
  item.Operation = node->Operation;
  item.Children = node->ChildCount();
  item.Variable = node->Variable;
  if (node->Operation == opConstant) {
    // The 80 bits of the value; the padding of long double is not part of it.
    const long double value = node->LeafValue();
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &value, sizeof value);
    std::memcpy(&item.ValueMantissa, bytes, sizeof item.ValueMantissa);
    std::memcpy(&item.ValueExponent, bytes + sizeof item.ValueMantissa, sizeof item.ValueExponent);
  }
  return item;
}

long double ValueOf(const TShapeItem& item) {
  unsigned char bytes[sizeof(long double)] = {};
  std::memcpy(bytes, &item.ValueMantissa, sizeof item.ValueMantissa);
  std::memcpy(bytes + sizeof item.ValueMantissa, &item.ValueExponent, sizeof item.ValueExponent);
  long double value = 0;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// Appends the subtree in preorder, without recursion.
void AppendShape(const Node* root, TShape& shape) {
  thread_local std::vector<const Node*> pending;
  pending.assign(1, root);
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    shape.push_back(ItemOf(node));
    for (std::int32_t i = node->ChildCount() - 1; i >= 0; --i) pending.push_back(node->Child(i));
  }
}

// Builds the subtree whose preorder starts at item; the hole of a stack piece takes inner.
TKoNodePtr Build(const TShapeItem*& item, TKoVarDepot* depot, TKoNodePtr& inner) {
  const TShapeItem& own = *item++;
  if (own.Children == kHole) return std::move(inner);
  if (own.Operation == opConstant) return Node::CreateConstant(ValueOf(own));
  if (own.Operation == opVariable)
    return Node::CreateVariable(dtExtended, own.Variable->Name, depot);
  TKoNodePtr node = Node::Create(dtExtended, own.Operation);
  node->Children.reserve(static_cast<std::size_t>(own.Children));
  for (std::int32_t i = 0; i < own.Children; ++i) node->AddChild(Build(item, depot, inner));
  return node;
}

// One stack of pieces from the top down and the core below them.
struct TChain {
  std::vector<TShape> Pieces;  // each with one hole; recorded only when asked for
  TShape Core;
};

// A tree split for the levels: the stack from the root down to the first node that is no
// piece; when that node is a sum of dependent children (a sum derives to the sum of the
// derivatives, so it stays), each child is a chain of its own below that frame.
struct TSplit {
  std::vector<TShape> Top;  // the stack above the frame
  bool Framed = false;
  TShapeItem Frame;
  std::vector<TChain> Chains;
};

using TCores = std::vector<TShape>;

std::int64_t NodeCount(const TShape& shape) {
  return static_cast<std::int64_t>(shape.size()) -
         std::count_if(shape.begin(), shape.end(),
                       [](const TShapeItem& item) { return item.Children == kHole; });
}

std::int64_t NodeCount(const std::vector<TShape>& pieces) {
  std::int64_t nodes = 0;
  for (const TShape& piece : pieces) nodes += NodeCount(piece);
  return nodes;
}

bool StartsWith(const std::vector<TShape>& pieces, const std::vector<TShape>& prefix) {
  return pieces.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), pieces.begin());
}

// Whether split goes on from previous: the same frame, every stack only longer.
bool Continues(const TSplit& previous, const TSplit& split) {
  if (previous.Top != split.Top || previous.Framed != split.Framed ||
      !(previous.Frame == split.Frame) || previous.Chains.size() != split.Chains.size())
    return false;
  for (std::size_t c = 0; c < split.Chains.size(); ++c)
    if (!StartsWith(split.Chains[c].Pieces, previous.Chains[c].Pieces)) return false;
  return true;
}

TCores CoresOf(const TSplit& split) {
  TCores cores;
  cores.reserve(split.Chains.size());
  for (const TChain& chain : split.Chains) cores.push_back(chain.Core);
  return cores;
}

// The view of one level's tree; answers hold until the tree changes.
class TLevelView : calculus::TRuleContext {
 public:
  using TRuleContext::Depends;
  using TRuleContext::TRuleContext;

  // Splits root; with stacks false the whole tree is the core of one chain.
  void Split(const Node* root, bool stacks, bool recordPieces, TSplit& split) const {
    split.Top.clear();
    split.Framed = false;
    split.Frame = TShapeItem{};
    split.Chains.resize(1);
    if (!stacks) {
      split.Chains[0].Pieces.clear();
      split.Chains[0].Core.clear();
      AppendShape(root, split.Chains[0].Core);
      return;
    }
    const Node* core = SplitChain(root, recordPieces, split.Chains[0]);
    if (!IsFrame(core)) return;
    split.Framed = true;
    split.Frame = ItemOf(core);
    std::swap(split.Top, split.Chains[0].Pieces);
    split.Chains.resize(static_cast<std::size_t>(core->ChildCount()));
    for (std::int32_t i = 0; i < core->ChildCount(); ++i)
      SplitChain(core->Child(i), recordPieces, split.Chains[static_cast<std::size_t>(i)]);
  }

 private:
  // Fills chain from the stack at node down; returns the node below the stack.
  const Node* SplitChain(const Node* node, bool recordPieces, TChain& chain) const {
    chain.Pieces.clear();
    chain.Core.clear();
    for (std::int32_t hole = 0; (hole = Hole(node)) >= 0; node = node->Child(hole)) {
      if (!recordPieces) continue;
      TShape& piece = chain.Pieces.emplace_back();
      piece.push_back(ItemOf(node));
      for (std::int32_t i = 0; i < node->ChildCount(); ++i) {
        if (i == hole) {
          piece.push_back(TShapeItem{.Children = kHole});
        } else {
          AppendShape(node->Child(i), piece);
        }
      }
    }
    AppendShape(node, chain.Core);
    return node;
  }

  bool IsFrame(const Node* node) const {
    if (!Is(node, opSum) || node->ChildCount() < 2) return false;
    return std::all_of(node->Children.begin(), node->Children.end(),
                       [this](const Node* child) { return Depends(child); });
  }

  // The child a stack goes on through, or -1 when the node is no stack piece. The
  // derivative rules give -u', c*u' and u'/c for these, each the node again over u'.
  std::int32_t Hole(const Node* node) const {
    const std::int32_t count = node->ChildCount();
    std::int32_t hole = -1;
    if (Is(node, opNegation) && count == 1) hole = 0;
    if (Is(node, opProduct) && count >= 2 && !IsVar(node->Child(count - 1))) hole = count - 1;
    if (Is(node, opQuotient) && count >= 2) hole = 0;
    if (hole < 0 || !Depends(node->Child(hole))) return -1;
    for (std::int32_t i = 0; i < count; ++i)
      if (i != hole && Depends(node->Child(i))) return -1;
    return hole;
  }
};

// Finds repeated cores by Brent's method: a checkpoint whose distance doubles.
class TRepeatFinder {
 public:
  void Restart(std::int64_t level, const TCores& cores) {
    Checkpoint = cores;
    CheckpointLevel = level;
    Power = 1;
  }
  // The period when the cores of level equal earlier ones, else 0.
  std::int64_t Period(std::int64_t level, const TCores& cores) {
    if (cores == Checkpoint) return level - CheckpointLevel;
    if (level - CheckpointLevel == Power) {
      Checkpoint = cores;
      CheckpointLevel = level;
      Power *= 2;
    }
    return 0;
  }

 private:
  TCores Checkpoint;
  std::int64_t CheckpointLevel = 0;
  std::int64_t Power = 1;
};

// The simplified levels may neither repeat nor grow to the node limit for a long time
// (a constant factor that rounds a little differently every level); they end with the
// node limit's refusal once they have visited this many nodes, well within a second.
constexpr std::int64_t kSimplifiedWork = 4'000'000;

// Simplifying stops when a pass leaves the tree as it was, or after this many passes.
constexpr int kSimplifyPasses = 64;

class TLevelRunner {
 public:
  TLevelRunner(TKoMathTreeFunction& work, const std::string& varName, bool simplified)
      : Work(work), VarName(varName), Simplified(simplified), Depot(&work.GetVarDepot()) {}

  void Run(std::int64_t target);

 private:
  void Step() {
    Work.SetTree(DeriveTree(Work.GetTree(), VarName, Depot));
    if (Simplified) SimplifyLevel();
  }
  void SimplifyLevel();
  // Whether the tree of the level just run no longer depends on the variable; then the
  // tree becomes the constant 0 that every further level is.
  bool Ended(const TLevelView& view);
  // Level target from the period found, running only the last level of each class of
  // levels that share a phase: within a class the trees only grow.
  void Jump(std::int64_t target);
  std::int64_t NodesAt(std::int64_t level) const;
  TKoNodePtr TreeAt(std::int64_t level) const;

  TKoMathTreeFunction& Work;
  const std::string& VarName;
  const bool Simplified;
  TKoVarDepot* Depot;
  std::int64_t SimplifiedWork = 0;
  TShape Before;
  TShape After;

  // From level Base on, the cores of level Base+j*Period+t are Cores[t], and the stack of
  // each chain is that of level Base, then j times all Parts, then the first t Parts.
  std::int64_t Base = 0;
  std::int64_t Period = 0;
  TSplit BaseSplit;
  std::vector<TCores> Cores;
  std::vector<std::vector<std::vector<TShape>>> Parts;  // per level of a period, per chain
};

void TLevelRunner::SimplifyLevel() {
  Before.clear();
  AppendShape(Work.GetTree(), Before);
  for (int pass = 0; pass < kSimplifyPasses; ++pass) {
    SimplifiedWork += static_cast<std::int64_t>(Before.size());
    if (SimplifiedWork > kSimplifiedWork) throw ETooMuchInstances(kTextTooMuchInstances);
    Work.SimplifyOnce();
    After.clear();
    AppendShape(Work.GetTree(), After);
    if (After == Before) return;
    std::swap(Before, After);
  }
}

bool TLevelRunner::Ended(const TLevelView& view) {
  if (view.Depends(Work.GetTree())) return false;
  Work.SetTree(nodes::Constant(0));
  return true;
}

void TLevelRunner::Run(std::int64_t target) {
  TRepeatFinder finder;
  TSplit split;
  TSplit previous;
  TLevelView(VarName, Depot).Split(Work.GetTree(), !Simplified, false, split);
  finder.Restart(0, CoresOf(split));
  std::int64_t recordFrom = -1;  // the level whose cores repeated, while its period is recorded
  const TProgress progress;
  for (std::int64_t level = 1;; ++level) {
    Step();
    progress.Report(static_cast<double>(level) / static_cast<double>(target));
    if (level == target) return;
    const TLevelView view(VarName, Depot);
    if (Ended(view)) return;
    view.Split(Work.GetTree(), !Simplified, recordFrom >= 0, split);
    if (recordFrom < 0) {
      Period = finder.Period(level, CoresOf(split));
      if (Period == 0) continue;
      // Once more with the stacks, then one period with the pieces each level adds.
      recordFrom = level;
      view.Split(Work.GetTree(), !Simplified, true, previous);
      Cores.assign(1, CoresOf(previous));
      Parts.clear();
      continue;
    }
    if (!Continues(previous, split)) {
      recordFrom = -1;
      finder.Restart(level, CoresOf(split));
      continue;
    }
    std::vector<std::vector<TShape>>& part = Parts.emplace_back(split.Chains.size());
    for (std::size_t c = 0; c < split.Chains.size(); ++c) {
      const std::vector<TShape>& pieces = split.Chains[c].Pieces;
      part[c].assign(pieces.begin() + static_cast<std::ptrdiff_t>(previous.Chains[c].Pieces.size()),
                     pieces.end());
    }
    std::swap(previous, split);
    if (level - recordFrom < Period) {
      Cores.push_back(CoresOf(previous));
      continue;
    }
    if (CoresOf(previous) != Cores[0]) {
      recordFrom = -1;
      finder.Restart(level, CoresOf(previous));
      continue;
    }
    Base = level;
    BaseSplit = std::move(previous);
    Jump(target);
    return;
  }
}

std::int64_t TLevelRunner::NodesAt(std::int64_t level) const {
  const std::int64_t cycles = (level - Base) / Period;
  const auto phase = static_cast<std::size_t>((level - Base) % Period);
  std::int64_t nodes = NodeCount(BaseSplit.Top) + (BaseSplit.Framed ? 1 : 0);
  for (std::size_t c = 0; c < BaseSplit.Chains.size(); ++c) {
    nodes += NodeCount(Cores[phase][c]) + NodeCount(BaseSplit.Chains[c].Pieces);
    for (std::size_t t = 0; t < Parts.size(); ++t)
      nodes += NodeCount(Parts[t][c]) * (cycles + (t < phase ? 1 : 0));
  }
  return nodes;
}

TKoNodePtr TLevelRunner::TreeAt(std::int64_t level) const {
  const std::int64_t cycles = (level - Base) / Period;
  const auto phase = static_cast<std::size_t>((level - Base) % Period);
  TKoNodePtr tree;
  const auto wrap = [&](const TShape& shape) {
    const TShapeItem* item = shape.data();
    tree = Build(item, Depot, tree);
  };
  const auto wrapAll = [&](const std::vector<TShape>& pieces) {
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) wrap(*piece);
  };
  // Pieces a later level adds lie deeper, just above the core.
  std::vector<TKoNodePtr> chains;
  for (std::size_t c = 0; c < BaseSplit.Chains.size(); ++c) {
    wrap(Cores[phase][c]);
    for (std::size_t t = phase; t-- > 0;) wrapAll(Parts[t][c]);
    const bool grows =
        std::any_of(Parts.begin(), Parts.end(), [c](const auto& part) { return !part[c].empty(); });
    for (std::int64_t j = 0; grows && j < cycles; ++j)
      for (std::size_t t = Parts.size(); t-- > 0;) wrapAll(Parts[t][c]);
    wrapAll(BaseSplit.Chains[c].Pieces);
    chains.push_back(std::move(tree));
  }
  if (BaseSplit.Framed) {
    tree = Node::Create(dtExtended, BaseSplit.Frame.Operation);
    tree->Children.reserve(chains.size());
    for (TKoNodePtr& chain : chains) tree->AddChild(std::move(chain));
  } else {
    tree = std::move(chains[0]);
  }
  wrapAll(BaseSplit.Top);
  return tree;
}

void TLevelRunner::Jump(std::int64_t target) {
  std::int64_t growth = 0;
  for (const auto& part : Parts)
    for (const std::vector<TShape>& pieces : part) growth += NodeCount(pieces);
  // Without growth every class repeats levels already run; otherwise each class's last
  // level before the target is run, the target's own class last.
  std::vector<std::int64_t> levels;
  if (growth > 0)
    for (std::int64_t level = std::max(Base + 1, target - Period + 1); level < target; ++level)
      levels.push_back(level);
  levels.push_back(target);
  Work.SetTree(nullptr);
  const std::int64_t live = TKoOperatorNode::GetInstanceCount();
  for (const std::int64_t level : levels)
    if (live + NodesAt(level - 1) + NodesAt(level) > TKoOperatorNode::GetMaxInstances())
      throw ETooMuchInstances(kTextTooMuchInstances);
  for (const std::int64_t level : levels) {
    Work.SetTree(nullptr);
    Work.SetTree(TreeAt(level - 1));
    Step();
  }
}

}  // namespace

void DeriveLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level,
                  bool simplified) {
  TLevelRunner(work, varName, simplified).Run(level);
}

namespace {

// The canonical levels end with the node limit's refusal after this many levels or
// characters of level texts, well within a second.
constexpr std::int64_t kCanonicalLevels = 1200;
constexpr std::int64_t kCanonicalCharacters = 250'000;
// The levels in the form alone (multiplied out, the derivative of the form): terms of up to
// this many nodes and a result of up to this many characters, with this many times the work
// of the canonical levels for all levels together.
constexpr std::int64_t kFormLevelNodes = 200'000;
constexpr std::size_t kFormLevelCharacters = 250'000;
constexpr std::uint64_t kFormLevelWorkFactor = 2;
// The terms the canonical form may construct and compare for all levels together: about
// half a second; a level of a large term that multiplies out beyond it is refused.
std::uint64_t gCanonicalWork = 5'000'000;

// The points a canonical result is tried at, and the relative change of its numbers there:
// about the rounding of a number printed with 17 digits.
constexpr long double kTryPoints[] = {-2.7L, -1.3L, -0.6L, -0.2L, 0.3L, 0.7L, 1.3L, 2.1L, 3.7L};
constexpr long double kRounding = 4e-18L;
// The change of a value those roundings may cause, relative to it (and to the largest value,
// near a root).
constexpr long double kLargestChange = 1e-12L;
constexpr long double kNearRoot = 1e-6L;

// The numbers of a tree that printing rounds: those its 17 digits do not read back to.
void Constants(TKoOperatorNode* node, std::vector<TKoOperatorNode*>& constants) {
  if (node->Operation == opConstant) {
    long double v = node->LeafValue();
    const std::string printed = DataToText(&v, dtExtended);
    if (std::strtold(printed.c_str(), nullptr) != v) constants.push_back(node);
  }
  for (TKoOperatorNode* child : node->Children) Constants(child, constants);
}

// Whether the value of the tree keeps its digits when its numbers are rounded to the digits
// they print with. A level multiplied out into huge terms that cancel does not: printed, it
// would be a wrong result.
bool KeepsItsDigits(TKoMathTreeFunction& work, const std::string& varName) {
  std::vector<TKoOperatorNode*> constants;
  Constants(work.GetTree(), constants);
  if (constants.empty() || work.IndexOfVar(varName) < 0) return true;
  std::vector<long double> values;
  std::vector<long double> points;
  long double largest = 0;
  for (const long double x : kTryPoints) {
    work.SetVarValue(varName, x);
    work.Calculate();
    if (!work.GetErrorText().empty() || !std::isfinite(work.Value)) continue;
    points.push_back(x);
    values.push_back(work.Value);
    largest = std::fmax(largest, std::fabs(work.Value));
  }
  std::vector<long double> original;
  original.reserve(constants.size());
  for (const TKoOperatorNode* c : constants) original.push_back(c->LeafValue());
  // Each number up or down by the rounding, in a fixed sequence of signs.
  std::uint32_t state = 12345;
  bool keeps = true;
  for (int trial = 0; trial < 3 && keeps; ++trial) {
    for (std::size_t i = 0; i < constants.size(); ++i) {
      state = state * 1664525U + 1013904223U;
      const long double sign = (state >> 31) != 0 ? 1.0L : -1.0L;
      *constants[i]->ValueRef = original[i] * (1.0L + sign * kRounding);
    }
    for (std::size_t k = 0; k < points.size() && keeps; ++k) {
      work.SetVarValue(varName, points[k]);
      work.Calculate();
      const long double allowed = kLargestChange * (std::fabs(values[k]) + kNearRoot * largest);
      keeps = work.GetErrorText().empty() && std::fabs(work.Value - values[k]) <= allowed;
    }
  }
  for (std::size_t i = 0; i < constants.size(); ++i) *constants[i]->ValueRef = original[i];
  return keeps;
}

}  // namespace

std::uint64_t SetCanonicalLevelWork(std::uint64_t units) {
  return std::exchange(gCanonicalWork, units);
}

namespace {

void FormCanonicalLevels(TKoMathTreeFunction& work, const std::string& varName,
                         std::int32_t level) {
  TKoVarDepot* depot = &work.GetVarDepot();
  const TProgress progress;
  // The text of each level, and the first level of each text, to find a period.
  std::vector<std::string> texts;
  std::map<std::string, std::int64_t> firstLevel;
  std::int64_t characters = 0;
  const algebra::TWorkLimit limit(gCanonicalWork);
  for (std::int64_t current = 1; current <= level; ++current) {
    if (current > kCanonicalLevels) throw ETooMuchInstances(kTextTooMuchInstances);
    TKoNodePtr derived = DeriveTree(work.GetTree(), varName, depot);
    work.SetTree(nullptr);
    const std::optional<std::string> text =
        algebra::CanonicalText(derived.get(), varName, algebra::Use::Levels);
    derived.reset();
    if (!text) throw ETooMuchInstances(kTextTooMuchInstances);
    characters += static_cast<std::int64_t>(text->size());
    if (characters > kCanonicalCharacters) throw ETooMuchInstances(kTextTooMuchInstances);
    const auto [seen, added] = firstLevel.emplace(*text, current);
    if (!added) {
      // Level current is level seen->second again: the rest repeats with their distance.
      const std::int64_t period = current - seen->second;
      const std::int64_t same = seen->second + (level - current) % period;
      work.SetTree(ParseTerm(texts[static_cast<std::size_t>(same - 1)], depot));
      return;
    }
    texts.push_back(*text);
    // Numbers that grow by a polynomial in an otherwise repeating shape give the level asked
    // for at once.
    if (current < level)
      if (const std::optional<std::string> target = algebra::ExtrapolatedLevel(texts, level)) {
        work.SetTree(ParseTerm(*target, depot));
        if (!work.GetTree()) throw ETooMuchInstances(kTextTooMuchInstances);
        return;
      }
    work.SetTree(ParseTerm(*text, depot));
    if (!work.GetTree()) throw ETooMuchInstances(kTextTooMuchInstances);
    progress.Report(static_cast<double>(current) / static_cast<double>(level));
    // A level free of the variable ends the sequence: every later one is 0.
    if (current < level && !work.GetTree()->DependsOn(varName)) {
      work.SetTree(nodes::Constant(0));
      return;
    }
  }
}

}  // namespace

void DeriveCanonicalLevels(TKoMathTreeFunction& work, const std::string& varName,
                           std::int32_t level) {
  FormCanonicalLevels(work, varName, level);
  if (!KeepsItsDigits(work, varName)) throw ETooMuchInstances(kTextTooMuchInstances);
}

void DeriveFormLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level) {
  const TProgress progress;
  const std::string key = UpperCase(varName);
  std::string text;
  try {
    const algebra::TWorkLimit limit(kFormLevelWorkFactor * gCanonicalWork);
    // Multiplied out, but with the squares of sines kept: replacing them by 1-cos(u)^2 makes
    // large terms that cancel, too many digits lost where the result is evaluated.
    algebra::Expr e = algebra::FromTree(work.GetTree(), algebra::Numbers::DecimalsExact);
    for (std::int64_t current = 1; current <= level; ++current) {
      if (current > kCanonicalLevels) throw ETooMuchInstances(kTextTooMuchInstances);
      e = algebra::Expand(algebra::Derivative(e, key));
      if (static_cast<std::int64_t>(e->Size) > kFormLevelNodes)
        throw ETooMuchInstances(kTextTooMuchInstances);
      progress.Report(static_cast<double>(current) / static_cast<double>(level));
      if (!algebra::DependsOn(e, key)) {
        if (current < level) e = algebra::Num(algebra::Number(0));
        break;
      }
    }
    text = algebra::ToText(e, varName);
  } catch (const Exception&) {
    throw ETooMuchInstances(kTextTooMuchInstances);
  }
  if (text.size() > kFormLevelCharacters) throw ETooMuchInstances(kTextTooMuchInstances);
  // The result may exceed the live-node limit of the rules: room for it, a copy and its
  // simplification, at most a node for every character.
  const std::int32_t room =
      TKoOperatorNode::GetInstanceCount() + 3 * static_cast<std::int32_t>(text.size());
  if (room > TKoOperatorNode::GetMaxInstances()) TKoOperatorNode::SetMaxInstances(room);
  work.SetTree(ParseTerm(text, &work.GetVarDepot()));
  if (!work.GetTree() || !KeepsItsDigits(work, varName))
    throw ETooMuchInstances(kTextTooMuchInstances);
}
