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
#include <cstring>
#include <vector>

#include "MathDiff/MathDiff.hpp"
#include "MthTrFnc/MthTrFnc.hpp"

namespace {

using Node = TKoOperatorNode;
using calculus::Is;

constexpr std::int32_t kHole = -1;

// One node of a tree as the rules see it: code, number of children (kHole for the place
// of the core below a stack piece), a constant's value bits and a variable.
struct TShapeItem {
  std::uint16_t Operation = opNone;
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
  std::vector<const Node*> pending{root};
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
  if (own.Operation == opVariable) return Node::CreateVariable(dtExtended, own.Variable->Name, depot);
  TKoNodePtr node = Node::Create(dtExtended, own.Operation);
  node->Children.reserve(static_cast<std::size_t>(own.Children));
  for (std::int32_t i = 0; i < own.Children; ++i) node->AddChild(Build(item, depot, inner));
  return node;
}

// A tree split into the stack of pieces from the root down and the core below them.
struct TSplit {
  std::vector<TShape> Pieces;  // each with one hole; recorded only when asked for
  TShape Core;
};

std::int64_t NodeCount(const TShape& shape) {
  return static_cast<std::int64_t>(shape.size()) -
         std::count_if(shape.begin(), shape.end(),
                       [](const TShapeItem& item) { return item.Children == kHole; });
}

// The view of one level's tree; answers hold until the tree changes.
class TLevelView : calculus::TRuleContext {
 public:
  using TRuleContext::Depends;
  using TRuleContext::TRuleContext;

  // Splits root; with stacks false the whole tree is the core.
  void Split(const Node* root, bool stacks, bool recordPieces, TSplit& split) const {
    split.Pieces.clear();
    split.Core.clear();
    const Node* node = root;
    for (std::int32_t hole = 0; stacks && (hole = Hole(node)) >= 0; node = node->Child(hole)) {
      if (!recordPieces) continue;
      TShape& piece = split.Pieces.emplace_back();
      piece.push_back(ItemOf(node));
      for (std::int32_t i = 0; i < node->ChildCount(); ++i) {
        if (i == hole) {
          piece.push_back(TShapeItem{.Children = kHole});
        } else {
          AppendShape(node->Child(i), piece);
        }
      }
    }
    AppendShape(node, split.Core);
  }

 private:
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

// Finds a repeated core by Brent's method: a checkpoint whose distance doubles.
class TRepeatFinder {
 public:
  void Restart(std::int64_t level, const TShape& core) {
    Checkpoint = core;
    CheckpointLevel = level;
    Power = 1;
  }
  // The period when the core of level equals an earlier one, else 0.
  std::int64_t Period(std::int64_t level, const TShape& core) {
    if (core == Checkpoint) return level - CheckpointLevel;
    if (level - CheckpointLevel == Power) {
      Checkpoint = core;
      CheckpointLevel = level;
      Power *= 2;
    }
    return 0;
  }

 private:
  TShape Checkpoint;
  std::int64_t CheckpointLevel = 0;
  std::int64_t Power = 1;
};

class TLevelRunner {
 public:
  TLevelRunner(TKoMathTreeFunction& work, const std::string& varName, bool simplified)
      : Work(work), VarName(varName), Simplified(simplified), Depot(&work.GetVarDepot()) {}

  void Run(std::int64_t target);

 private:
  void Step() {
    Work.SetTree(DeriveTree(Work.GetTree(), VarName, Depot));
    if (Simplified) Work.Simplify();
  }
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

  // From level Base on, the core of level Base+j*Period+t is Cores[t], and its stack is
  // that of level Base, then j times all Parts, then the first t Parts.
  std::int64_t Base = 0;
  std::int64_t Period = 0;
  TSplit BaseSplit;
  std::vector<TShape> Cores;
  std::vector<std::vector<TShape>> Parts;
};

bool TLevelRunner::Ended(const TLevelView& view) {
  if (view.Depends(Work.GetTree())) return false;
  Work.SetTree(calculus::Constant(0));
  return true;
}

void TLevelRunner::Run(std::int64_t target) {
  TRepeatFinder finder;
  TSplit split;
  TSplit previous;
  TLevelView(VarName, Depot).Split(Work.GetTree(), !Simplified, false, split);
  finder.Restart(0, split.Core);
  std::int64_t recordFrom = -1;  // the level whose core repeated, while its period is recorded
  for (std::int64_t level = 1;; ++level) {
    Step();
    if (level == target) return;
    const TLevelView view(VarName, Depot);
    if (Ended(view)) return;
    view.Split(Work.GetTree(), !Simplified, recordFrom >= 0, split);
    if (recordFrom < 0) {
      Period = finder.Period(level, split.Core);
      if (Period == 0) continue;
      // Once more with the stack, then one period with the pieces each level adds.
      recordFrom = level;
      view.Split(Work.GetTree(), !Simplified, true, previous);
      Cores.assign(1, previous.Core);
      Parts.clear();
      continue;
    }
    const bool continues =
        split.Pieces.size() >= previous.Pieces.size() &&
        std::equal(previous.Pieces.begin(), previous.Pieces.end(), split.Pieces.begin());
    if (!continues) {
      recordFrom = -1;
      finder.Restart(level, split.Core);
      continue;
    }
    Parts.emplace_back(split.Pieces.begin() + static_cast<std::ptrdiff_t>(previous.Pieces.size()),
                       split.Pieces.end());
    std::swap(previous, split);
    if (level - recordFrom < Period) {
      Cores.push_back(previous.Core);
      continue;
    }
    if (previous.Core != Cores[0]) {
      recordFrom = -1;
      finder.Restart(level, previous.Core);
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
  std::int64_t nodes = NodeCount(Cores[phase]);
  for (const TShape& piece : BaseSplit.Pieces) nodes += NodeCount(piece);
  for (std::size_t t = 0; t < Parts.size(); ++t) {
    std::int64_t part = 0;
    for (const TShape& piece : Parts[t]) part += NodeCount(piece);
    nodes += part * (cycles + (t < phase ? 1 : 0));
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
  wrap(Cores[phase]);
  for (std::size_t t = phase; t-- > 0;) wrapAll(Parts[t]);
  const bool grows = std::any_of(Parts.begin(), Parts.end(),
                                 [](const std::vector<TShape>& part) { return !part.empty(); });
  for (std::int64_t j = 0; grows && j < cycles; ++j)
    for (std::size_t t = Parts.size(); t-- > 0;) wrapAll(Parts[t]);
  wrapAll(BaseSplit.Pieces);
  return tree;
}

void TLevelRunner::Jump(std::int64_t target) {
  std::int64_t growth = 0;
  for (const std::vector<TShape>& part : Parts)
    for (const TShape& piece : part) growth += NodeCount(piece);
  // Without growth every class repeats levels already run; otherwise each class's last
  // level before the target is run, the target's own class last.
  std::vector<std::int64_t> levels;
  if (growth > 0)
    for (std::int64_t level = std::max(Base + 1, target - Period + 1); level < target; ++level)
      levels.push_back(level);
  levels.push_back(target);
  for (const std::int64_t level : levels) {
    Work.SetTree(nullptr);
    const std::int64_t live = TKoOperatorNode::GetInstanceCount();
    if (live + NodesAt(level - 1) + NodesAt(level) > TKoOperatorNode::GetMaxInstances())
      throw ETooMuchInstances(kTextTooMuchInstances);
    Work.SetTree(TreeAt(level - 1));
    Step();
  }
}

}  // namespace

void DeriveLevels(TKoMathTreeFunction& work, const std::string& varName, std::int32_t level,
                  bool simplified) {
  TLevelRunner(work, varName, simplified).Run(level);
}
