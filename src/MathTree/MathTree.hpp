// Operator-node trees: nodes and their evaluation, variables and their depot,
// and the function-name lists.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/util.hpp"

TCALC_EXCEPTION(EKoOperatorNode, Exception);
TCALC_EXCEPTION(EMissingNode, EKoOperatorNode);
TCALC_EXCEPTION(ETooMuchInstances, EKoOperatorNode);
TCALC_EXCEPTION(EUnsupportedDatatype, EKoOperatorNode);
TCALC_EXCEPTION(EKoVariable, EKoOperatorNode);
TCALC_EXCEPTION(EWrongDataType, EKoVariable);
TCALC_EXCEPTION(ENotExistingVariable, EKoVariable);

// Operation codes shared by tokenizer, builder, evaluation, printer and calculus.
enum TOperation : std::uint16_t {
  opNone = 0,
  opConstant = 1,
  opVariable = 2,
  opSum = 22,
  opReserved = 23,
  opProduct = 24,
  opQuotient = 25,
  opPower = 26,
  opNegation = 27,
  opExp = 41,
  opLn = 42,
  opLog = 43,
  opLd = 44,
  opSqr = 45,
  opSqrt = 46,
  opSin = 51,
  opCos = 52,
  opTan = 53,
  opCot = 54,
  opArcSin = 55,
  opArcCos = 56,
  opArcTan = 57,
  opArcCot = 58,
  opSinh = 59,
  opCosh = 60,
  opTanh = 61,
  opCoth = 62,
  opArcSinh = 63,
  opArcCosh = 64,
  opArcTanh = 65,
  opArcCoth = 66,
  opTrunc = 70,
  opRound = 71,
  opFrac = 72,
  opSgn = 80,
  opAbs = 81,
  opZero = 82,
  opHeav = 83,
  opCeil = 90,
  opFloor = 91,
  opPhase = 100,
  opRnd = 110,
  opFactorial = 200,
  opInfixMinus = 501
};

// The kinds of codes. Constants and variables are the leaves; opNone is no operation.
constexpr bool IsLeafCode(TOperation op) {
  return op == opConstant || op == opVariable;
}
// Nodes of every other code hold operands.
constexpr bool TakesOperands(TOperation op) {
  return op != opNone && !IsLeafCode(op);
}
// The operators that fold any number of operands from left to right (opReserved among them).
constexpr bool IsChainCode(TOperation op) {
  return op >= opSum && op <= opPower;
}
// The functions of one argument, the postfix factorial among them.
constexpr bool IsFunctionCode(TOperation op) {
  return op >= opExp && op <= opFactorial;
}

// Error texts of the node calculation.
inline constexpr const char* kTextMissingOperand = "Fehlender Operand";
inline constexpr const char* kTextDivisionByZero = "Division durch 0";
inline constexpr const char* kTextIllegalPower = "Nicht erlaubte Potenzierung";
inline constexpr const char* kTextIllegalOperation = "Unerlaubte Operation";
inline constexpr const char* kTextNoFunctionParameter = "Keine Funktionsparameter";
inline constexpr const char* kTextIllegalOperations = "Illegale Operationen";
inline constexpr const char* kTextTooMuchInstances = "Too much instances of TKoOperatorNode!";
inline constexpr const char* kTextUnknownDataType = "Unbekannter Datentyp!";
inline constexpr const char* kTextVariableType = "Anderer Datentyp der Variablen ";
// "Variable a existiert nicht!"
inline constexpr const char* kTextVariable = "Variable ";
inline constexpr const char* kTextNotExisting = " existiert nicht!";

// ---------------------------------------------------------------- variables

class TKoSingleVariable {
 public:
  TKoSingleVariable(std::string name, const void* initialValue, TDataType dataType);
  virtual ~TKoSingleVariable() = default;
  TKoSingleVariable(const TKoSingleVariable&) = delete;
  TKoSingleVariable& operator=(const TKoSingleVariable&) = delete;

  std::unique_ptr<TKoSingleVariable> Clone() const;
  void GetValue(void* dest) const;
  void SetValue(const void* source);
  long double GetAsExtended() const;
  void SetAsExtended(long double v) {
    // Extended is the type every tree uses: stored without conversion.
    if (DataType == dtExtended) {
      Value = v;
      return;
    }
    SetAsConverted(v);
  }

  std::string Name;
  // The value in the native layout of DataType: the narrower types occupy its first bytes.
  // Variable nodes of extended variables read it in place.
  long double Value = 0;
  TDataType DataType;
  std::int32_t DataSize;

 private:
  void SetAsConverted(long double v);
};

class TKoVarDepot {
 public:
  TKoVarDepot() = default;
  virtual ~TKoVarDepot() = default;
  TKoVarDepot(const TKoVarDepot&) = delete;
  TKoVarDepot& operator=(const TKoVarDepot&) = delete;

  TKoSingleVariable* FindOrAdd(const std::string& name, TDataType dataType);
  TKoSingleVariable* FindOrAddWithValue(const std::string& name, const void* value,
                                        TDataType dataType);
  TKoSingleVariable* SetVariable(const std::string& name, TDataType dataType, long double v);
  void SetValue(const std::string& name, const void* source);
  void SetAsExtended(const std::string& name, long double v);
  void GetValue(const std::string& name, void* dest) const;
  long double GetAsExtended(const std::string& name) const;
  // Positions count in the order of the upper-case names.
  std::int32_t IndexOfVariable(const std::string& name) const;
  std::int32_t VariableCount() const { return static_cast<std::int32_t>(Items.size()); }
  TKoSingleVariable* VariableAt(std::int32_t index) const {
    return Positions().at(static_cast<std::size_t>(index))->second.get();
  }
  void Clear() {
    Items.clear();
    Ordered.clear();
  }
  std::unique_ptr<TKoVarDepot> Clone() const;

 private:
  using TItems = std::map<std::string, std::unique_ptr<TKoSingleVariable>>;
  // The entries by position, built when a position is first asked for after a change: a
  // term with thousands of names adds them in a sequence of lookups.
  const std::vector<TItems::const_iterator>& Positions() const;
  TKoSingleVariable& Existing(const std::string& name) const;

  TItems Items;  // by the upper-case form of the name
  mutable std::vector<TItems::const_iterator> Ordered;
};

// ---------------------------------------------------------------- nodes
//
// Who owns a node. A node owns its children and frees them with itself, unless its
// OwnsChildren is false; a TKoNodePtr owns a node that no parent holds yet, and AddChild and
// ExtractChild hand a child over in either direction. While a term is parsed, every node
// belongs to the token list: the builder links nodes without handing them over, so that a
// failed build can clear OwnsChildren and free each node once through its token; a
// successful build hands the whole tree to the caller. A tree function owns its tree, and
// its creator unless the creator's NotOwned is set (a creator shared by several functions,
// which the caller frees). Variable nodes point into the depot they were made with, which
// must outlive them: a tree that a differencer or integrator puts into its result function
// is bound to the variables of the source function, so the result is freed first.

class TKoOperatorNode;

// A node's error text, 8 bytes in the node: most nodes never carry one, and a node that
// once did keeps its buffer for the next.
class TKoNodeText {
 public:
  TKoNodeText() = default;
  TKoNodeText(const TKoNodeText& other) { *this = other.str(); }
  TKoNodeText& operator=(const TKoNodeText& other) {
    if (this != &other) *this = other.str();
    return *this;
  }
  TKoNodeText(TKoNodeText&&) = default;
  TKoNodeText& operator=(TKoNodeText&&) = default;
  ~TKoNodeText() = default;

  TKoNodeText& operator=(std::string_view text) {
    if (Text) {
      Text->assign(text);
    } else if (!text.empty()) {
      Text = std::make_unique<std::string>(text);
    }
    return *this;
  }
  TKoNodeText& operator=(const char* text) { return *this = std::string_view(text); }
  TKoNodeText& operator=(const std::string& text) { return *this = std::string_view(text); }
  bool empty() const { return !Text || Text->empty(); }
  void clear() {
    if (Text) Text->clear();
  }
  const std::string& str() const { return Text ? *Text : Empty(); }
  operator const std::string&() const { return str(); }
  bool operator==(std::string_view text) const { return str() == text; }

 private:
  static const std::string& Empty();
  std::unique_ptr<std::string> Text;
};

// rnd starts its sequence again, as at the start of a run.
void RestartRandomSequence();
// The next number of rnd's sequence, from 0 to 2^32 - 1.
std::uint32_t DrawRandom();
// How many numbers were drawn since the sequence started; the sequence again from the
// position after that many.
std::uint64_t RandomDraws();
void ReplayRandomSequence(std::uint64_t draws);
using TKoNodePtr = std::unique_ptr<TKoOperatorNode>;

class TKoOperatorNode {
 public:
  // Constructors; each counts the node against the live-node limit.
  static TKoNodePtr Create(TDataType dataType, TOperation operation);
  static TKoNodePtr CreateConstant(TDataType dataType, const void* value);
  static TKoNodePtr CreateConstant(long double value);  // extended constant
  static TKoNodePtr CreateVariable(TDataType dataType, const std::string& name, TKoVarDepot* depot);
  static TKoNodePtr CreateVariableWithValue(TDataType dataType, const std::string& name,
                                            const void* value, TKoVarDepot* depot);
  // Sum of left and the negation of right; takes ownership of both.
  static TKoNodePtr CreateSubtraction(TKoNodePtr left, TKoNodePtr right);

  ~TKoOperatorNode();
  TKoOperatorNode(const TKoOperatorNode&) = delete;
  TKoOperatorNode& operator=(const TKoOperatorNode&) = delete;

  static void SetMaxInstances(std::int32_t n);
  static std::int32_t GetMaxInstances() { return MaxInstances; }
  static std::int32_t GetInstanceCount() { return InstanceCount; }

  // Takes ownership of child; nothing happens for leaves or an absent child (which is
  // then freed). A negative index appends.
  void AddChild(std::int32_t index, TKoOperatorNode* child);
  void AddChild(std::int32_t index, TKoNodePtr child) { AddChild(index, child.release()); }
  void AddChild(TKoNodePtr child) { AddChild(-1, child.release()); }
  void DeleteChild(std::int32_t index);
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(Children.size()); }
  TKoOperatorNode* Child(std::int32_t index) const {
    return Children.at(static_cast<std::size_t>(index));
  }
  // Replaces the pointer only; the previous child is not freed.
  void SetChild(std::int32_t index, TKoOperatorNode* node) {
    Children.at(static_cast<std::size_t>(index)) = node;
  }
  // Removes the child from the list and hands it over.
  TKoNodePtr ExtractChild(std::int32_t index);

  TKoNodePtr Clone(TKoVarDepot* depot) const;
  bool DependsOn(const std::string& name) const;
  // The same question for a name in upper case, answered once per subtree and pass: the
  // answer stays in the node, so a rule that asks again for a child costs nothing. A pass
  // must end before the tree changes; NewDependencePass starts the next one.
  bool DependsOnUpper(const std::string& upperName, std::uint32_t pass) const;
  static std::uint32_t NewDependencePass() {
    // 0 is the mark of a node never asked.
    if (++DependencePasses == 0) ++DependencePasses;
    return DependencePasses;
  }
  std::int32_t MaxOperandCount() const { return OperandCount(Operation); }
  static std::int32_t OperandCount(TOperation operation);
  std::string DisplayName() const;
  bool IsLeaf() const { return IsLeafCode(Operation); }
  // Value of a constant or variable node.
  long double LeafValue() const { return *ValueRef; }

  // Computes the value into dest and sets ErrorText; never throws for arithmetic failures.
  void Calculate(long double* dest) {
    // Taken out first: g++'s bounds check takes the object for the index in a->*b[i].
    const TCalcProc proc = kCalcProcs[CalcProc];
    (this->*proc)(dest);
  }

  const TOperation Operation;
  const TDataType DataType;
  const std::int32_t DataSize;
  std::vector<TKoOperatorNode*> Children;
  long double* ValueRef = nullptr;
  TKoNodeText ErrorText;
  TKoVarDepot* VarDepot = nullptr;
  TKoSingleVariable* Variable = nullptr;
  bool OwnsChildren = true;

 private:
  // Counts a live node; the first member, so a failed construction takes its count back.
  struct InstanceGuard {
    InstanceGuard();
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;
  };

  TKoOperatorNode(TDataType dataType, TOperation operation);

  using TCalcProc = void (TKoOperatorNode::*)(long double*);
  // The routines a node may compute with, so that a node holds a small index, not a pointer.
  enum TCalcIndex : std::uint8_t {
    kCalcCopy,
    kCalcNegation,
    kCalcFunction,
    kCalcSum,
    kCalcProduct,
    kCalcQuotient,
    kCalcPower,
    kCalcNone,
    kCalcCount
  };
  static const TCalcProc kCalcProcs[kCalcCount];
  void CalcCopy(long double* dest);
  void CalcNegation(long double* dest);
  void CalcFunction(long double* dest);
  template <TOperation Code>
  void CalcFold(long double* dest);
  void FoldFailed(long double* dest, const char* text);
  void CalculateOperand(TKoOperatorNode* child, long double* dest);

  // In this order the small members fill the gap before the aligned ones.
  InstanceGuard Guard;
  mutable bool DependenceAnswer = false;
  mutable std::uint32_t DependencePass = 0;  // the pass DependsOnUpper last answered in
  TCalcIndex CalcProc = kCalcCopy;
  long double ConstValue = 0;  // storage of a constant's value

  static std::uint32_t DependencePasses;

  static std::int32_t InstanceCount;
  static std::int32_t MaxInstances;
};

// The function routine for extended values: replaces x by f(x). False when the
// function has no value there; library failures are thrown as EMathError.
bool ExtendedFunction(TOperation operation, long double& x);

// Power a^b by the rules for negative and zero bases; false when it is not defined.
bool ExtendedPower(long double& a, long double b);

// ---------------------------------------------------------------- programs

// A tree compiled for the numeric methods that evaluate it thousands of times: a node per
// operation that calls its operands directly and returns its value in the register, where
// the tree's own evaluation passes values and error texts through every node. Run computes
// exactly the operations of the tree's evaluation on the same operands, so its value is the
// tree's bit for bit. Wherever the tree would report an error text Run returns false, and
// the caller evaluates the tree, which finds the text. A tree with rnd (whose sequence a
// second evaluation would advance), an absent operand or a code without a routine gets no
// program at all.
class TKoEvalProgram {
 public:
  // The program of the tree; false, and an empty program, where it gets none.
  bool Compile(const TKoOperatorNode* root);
  void Clear() { Nodes.clear(); }
  bool Empty() const { return Nodes.empty(); }
  // The tree's value at the current variable values, or false where it has an error text.
  bool Run(long double& value) const {
    bool failed = false;
    const TNode& root = Nodes.back();
    value = root.Eval(&root, failed);
    return !failed;
  }

  // One operation: Eval computes it from the operand nodes A and B or the leaves LeafA and
  // LeafB, and sets failed where the tree would report an error.
  struct TNode {
    long double (*Eval)(const TNode* node, bool& failed);
    const TNode* A;
    const TNode* B;
    const long double* LeafA;
    const long double* LeafB;
    TOperation Function;
  };

 private:
  // The node of the subtree, or nullptr where it has none; a leaf gives a node only when
  // it is the whole tree.
  const TNode* Append(const TKoOperatorNode* node);

  std::vector<TNode> Nodes;  // operands before the operations; the root last
};

// ---------------------------------------------------------------- function names

class TKoAbstractFunctionList {
 public:
  virtual ~TKoAbstractFunctionList() = default;
  std::int32_t IndexOfFunction(const std::string& name) const;
  TOperation FunctionCode(std::int32_t position) const {
    return Entries.at(static_cast<std::size_t>(position)).second;
  }
  std::int32_t Count() const { return static_cast<std::int32_t>(Entries.size()); }
  const std::string& Name(std::int32_t position) const {
    return Entries.at(static_cast<std::size_t>(position)).first;
  }

 protected:
  // A name in upper case and its position in the list.
  struct TIndexEntry {
    std::string_view Upper;
    std::int32_t Position;
  };
  virtual void FillFunctions() = 0;
  // The names in upper case in ascending order, each with its position.
  virtual std::span<const TIndexEntry> NameIndex() const = 0;
  void Add(const std::string& name, TOperation code) { Entries.emplace_back(name, code); }
  // Fills the list; called by the concrete constructor.
  void Build() { FillFunctions(); }

 private:
  std::vector<std::pair<std::string, TOperation>> Entries;  // list order
};

// The names of the term language; its name index is sorted when the program is compiled.
class TKoRealFunctionList : public TKoAbstractFunctionList {
 public:
  TKoRealFunctionList() { Build(); }

 protected:
  void FillFunctions() override;
  std::span<const TIndexEntry> NameIndex() const override;
};

// The one function-name list of the process.
const TKoRealFunctionList& SharedFunctionList();
