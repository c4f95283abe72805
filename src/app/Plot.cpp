// --plot: the graph of the term over an interval, with the mode's derivative, antiderivative
// or root beside it, as text on the console or as an SVG document.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "MathPars/MathPars.hpp"
#include "MathPlot/MathPlot.hpp"
#include "MathXFnc/MathXFnc.hpp"
#include "MthTrFnc/MthTrFnc.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"

namespace {

constexpr const char* kTextDerivative = ". Ableitung: ";
constexpr const char* kTextDerivativeNumeric = ". Ableitung (numerisch)";
constexpr const char* kTextAntiderivative = "Stammfunktion: ";
constexpr const char* kTextIntegralFrom = "Integral ab ";
constexpr const char* kTextNumeric = " (numerisch)";
constexpr const char* kTextRoot = "Nullstelle: ";

// The interval when the command line gives neither end, and its width when it gives one.
constexpr long double kDefaultFrom = -10;
constexpr long double kDefaultTo = 10;
constexpr long double kDefaultWidth = kDefaultTo - kDefaultFrom;
constexpr int kDefaultColumns = 80;
constexpr int kFewestColumns = 20;
constexpr int kMostColumns = 1000;
constexpr int kFewestRows = 12;
// Lines below the canvas: frame, x labels, legend, and the prompt after the run.
constexpr int kLinesBelow = 5;
// Samples per dot column at first, and the evaluations the refinement may add.
constexpr std::size_t kSamplesPerColumn = 2;
constexpr std::size_t kRefinements = 40000;
// A numeric derivative costs a hundred evaluations of the term and more: half the samples,
// and few more where it is steep.
constexpr std::size_t kNumericRefinements = 200;
constexpr std::size_t kNumericShare = 2;
// The SVG picture joins its samples by straight lines: a sample per pixel column, more where
// neighbours lie more than 3 pixels apart.
constexpr long double kSvgUnitsDown = (plot::kSvgBottom - plot::kSvgTop) / 3.0L;
constexpr std::size_t kSvgSamples = plot::kSvgRight - plot::kSvgLeft + 1;

TKoMathParser& ParserOf(TKoMathTreeFunction& f) {
  return static_cast<TKoMathParser&>(*f.GetCreator());
}

// A term that does not parse gives the parser's text as an error line; true when it parsed.
bool Parsed(TKoMathTreeFunction& f, bool writeError) {
  TKoMathParser& parser = ParserOf(f);
  parser.Execute();
  if (parser.ErrorText.empty() && f.GetTree()) return true;
  if (writeError) WriteErrorText(parser.ErrorText.empty() ? kTextSyntaxError : parser.ErrorText);
  return false;
}

// Whether the command line gives the standard variable a value.
bool StartGiven(const TKoMathCommandLine& cmd) {
  const std::string upper = UpperCase(cmd.XVar);
  for (const TKoCmdlVariable& variable : cmd.Variables)
    if (variable.Value && UpperCase(variable.Name) == upper) return true;
  return false;
}

}  // namespace

void GraphInterval(const TKoMathCommandLine& cmd, long double start, long double& from,
                   long double& to) {
  const bool startGiven = StartGiven(cmd);
  from = kDefaultFrom;
  to = kDefaultTo;
  if (startGiven && cmd.ToValueGiven) {
    from = start;
    to = cmd.ToValue;
  } else if (startGiven) {
    from = start - kDefaultWidth / 2;
    to = start + kDefaultWidth / 2;
  } else if (cmd.ToValueGiven) {
    from = cmd.ToValue - kDefaultWidth;
    to = cmd.ToValue;
  }
}

namespace {

// A whole number of columns from the environment, or 0.
int ColumnsFromEnvironment() {
  const char* text = std::getenv("COLUMNS");
  if (!text || !*text) return 0;
  long columns = 0;
  for (const char* p = text; *p; ++p) {
    if (!IsDigit(*p) || columns > kMostColumns) return 0;
    columns = columns * 10 + (*p - '0');
  }
  return static_cast<int>(columns);
}

// The text picture's size: the terminal's width, else COLUMNS, else 80 columns; a third of
// that high, within the terminal's height where it has one, and at least 12 rows.
plot::TTextStyle TextStyle() {
  plot::TTextStyle style;
  winsize size{};
  const bool terminal = isatty(STDOUT_FILENO) == 1;
  const bool sized = terminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0;
  int columns = sized ? size.ws_col : ColumnsFromEnvironment();
  if (columns <= 0) columns = kDefaultColumns;
  style.Columns = std::clamp(columns, kFewestColumns, kMostColumns);
  style.Rows = style.Columns / 3;
  if (sized && size.ws_row > 0) style.Rows = std::min(style.Rows, size.ws_row - kLinesBelow);
  style.Rows = std::max(style.Rows, kFewestRows);
  style.Utf8 = Utf8Output();
  const char* term = std::getenv("TERM");
  const char* noColor = std::getenv("NO_COLOR");
  style.Color = terminal && !(noColor && *noColor) && !(term && std::string(term) == "dumb");
  return style;
}

// The values of a derivative or antiderivative formed from the copy of the term. Its tree
// refers to the running variable in its own variables or, for higher derivatives, in the
// copy's: the program writes the value where the tree reads it.
class TFormedValues {
 public:
  TFormedValues(TKoMathTreeFunction& formed, TKoMathTreeFunction& copy, const std::string& var)
      : Formed(formed), Copy(copy), Var(var) {
    TKoMathTreeFunction& owner = formed.IndexOfVar(var) >= 0 ? formed : copy;
    TKoSingleVariable* running = owner.GetVarDepot().VariableAt(owner.IndexOfVar(var));
    if (running->DataType == dtExtended && Program.Compile(formed.GetTree()))
      Slot = &running->Value;
  }

  bool Evaluate(long double x, long double& y) {
    if (Slot) {
      *Slot = x;
      if (Program.Run(y)) return true;
    }
    // Where the program finds no value, the tree's evaluation finds the text.
    Copy.SetVarValue(Var, x);
    if (Formed.IndexOfVar(Var) >= 0) Formed.SetVarValue(Var, x);
    Formed.Calculate();
    y = Formed.Value;
    return Formed.GetErrorText().empty();
  }

 private:
  TKoMathTreeFunction& Formed;
  TKoMathTreeFunction& Copy;
  const std::string& Var;
  TKoEvalProgram Program;
  long double* Slot = nullptr;
};

// A curve with the evaluation it was sampled with, for the refinement.
struct TSampled {
  plot::TCurve Curve;
  plot::TEvaluate Evaluate;
  std::size_t Budget = kRefinements;
  std::size_t Share = 1;  // of the samples of the function
};

// The integral of the function from the interval's start, by Simpson's rule on the steps
// between the samples; it ends where the function has no value.
plot::TCurve IntegralCurve(const plot::TEvaluate& evaluate, long double from, long double to,
                           std::size_t count) {
  plot::TCurve curve;
  long double sum = 0;
  long double before = 0;
  bool valid = evaluate(from, before);
  for (std::size_t i = 0; i < count; ++i) {
    const long double x = plot::SampleX(from, to, i, count);
    if (i > 0 && valid) {
      const long double last = curve.Points.back().X;
      long double middle = 0, value = 0;
      valid = evaluate(last + (x - last) / 2, middle) && evaluate(x, value);
      sum += (x - last) / 6 * (before + 4 * middle + value);
      before = value;
      valid = valid && std::isfinite(sum);
    }
    plot::TPoint p;
    p.X = x;
    p.Y = valid ? sum : 0;
    p.Valid = valid;
    p.Joined = valid && i > 0;
    curve.Points.push_back(p);
  }
  return curve;
}

// The text of f's last evaluation, which found no value.
std::string FailureText(TKoMathTreeFunction& f) {
  return f.GetErrorText().empty() ? kTextNumCalcFailed : f.GetErrorText();
}

bool NoValue(const std::vector<plot::TPoint>& points) {
  return std::none_of(points.begin(), points.end(), [](const plot::TPoint& p) { return p.Valid; });
}

// Writes lines as they are: the picture's bytes are already those of the console.
void WriteLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
}

// One graph: the function, the curve the mode adds, and the root.
class TPlotter {
 public:
  TPlotter(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f, long double start)
      : Cmd(cmd), F(f), Var(cmd.XVar), Start(start), Values(&f), Slope(&Copy) {
    Slope.OtherNotOwned = true;
    Svg = PlotForm() == TPlotForm::kSvg;
    Style = TextStyle();
    Samples =
        Svg ? kSvgSamples
            : static_cast<std::size_t>(Style.Columns) * (Style.Utf8 ? 2 : 1) * kSamplesPerColumn;
    GraphInterval(cmd, start, Picture.From, Picture.To);
    Picture.Title = f.FunctionString();
    // The function, through its program.
    Values.SetRunningVar(Var);
    Values.Calculate();
    Curves.resize(1);
    Curves[0].Curve.Legend = Picture.Title;
    Curves[0].Evaluate = [this](long double x, long double& y) {
      return Values.TryEvaluateAt(x, y);
    };
    // A copy of the term for the second curve and the root: their methods change the values
    // and the tree they work on. The function alone needs none.
    if (cmd.DiffLevel <= 0 && !cmd.Stamm && !cmd.Newton) return;
    BindCommandLine(cmd, Copy);
    CopyParsed = Parsed(Copy, false);
  }

  bool IntervalOk() const { return Picture.From < Picture.To; }

  void AddModeCurve() {
    if (!CopyParsed) return;
    const std::string level = std::to_string(Cmd.DiffLevel);
    bool ok = false;
    if (Cmd.DiffLevel > 0 && !Cmd.Numerical) {
      const std::string text = DerivativeText(Copy, Var, Cmd.DiffLevel, Formed, ok);
      AddFormed(text, ok, level + kTextDerivative + text);
    } else if (Cmd.DiffLevel > 0) {
      Slope.SetDiffLevel(Cmd.DiffLevel);
      Slope.SetRunningVar(Var);
      TSampled second;
      second.Curve.Legend = level + kTextDerivativeNumeric;
      second.Budget = kNumericRefinements;
      second.Share = kNumericShare;
      second.Evaluate = [this](long double x, long double& y) {
        Copy.SetErrorText("");
        Copy.SetVarValue(Var, x);
        Slope.Calculate();
        y = Slope.Value;
        if (Copy.GetErrorText().empty()) return true;
        SlopeFailure = Copy.GetErrorText();
        return false;
      };
      Curves.push_back(std::move(second));
    } else if (Cmd.Stamm && !Cmd.Numerical) {
      const std::string text = AntiderivativeText(Copy, Var, Formed, ok);
      AddFormed(text, ok, kTextAntiderivative + text);
    }
  }

  // Samples the curves evenly; false where the function has no value anywhere.
  bool Sample() {
    for (TSampled& sampled : Curves)
      sampled.Curve.Points =
          plot::SampleEvenly(sampled.Evaluate, Picture.From, Picture.To, Samples / sampled.Share);
    if (!SlopeFailure.empty() && Curves.size() > 1 && NoValue(Curves[1].Curve.Points)) {
      Picture.Notes.push_back(SlopeFailure);
      Curves.pop_back();
    }
    if (Cmd.Stamm && Cmd.Numerical) AddIntegral();
    return !NoValue(Curves[0].Curve.Points);
  }

  // The range from the even samples, then more samples where the curves are steep.
  void Refine() {
    std::vector<const std::vector<plot::TPoint>*> all;
    all.reserve(Curves.size());
    for (const TSampled& sampled : Curves) all.push_back(&sampled.Curve.Points);
    Picture.Range = plot::ChooseRange(all);
    const int dotsDown = Style.Rows * (Style.Utf8 ? 4 : 1);
    const long double unitsDown = Svg ? kSvgUnitsDown : static_cast<long double>(dotsDown - 1);
    const long double unitsPerY = unitsDown / (Picture.Range.High - Picture.Range.Low);
    for (TSampled& sampled : Curves)
      if (sampled.Evaluate)
        plot::Refine(sampled.Curve.Points, sampled.Evaluate, Picture.Range, unitsPerY,
                     sampled.Budget);
  }

  void FindRoot() {
    if (!CopyParsed || !Cmd.Newton) return;
    TKoMathNewtonFunction newton(&Copy);
    newton.OtherNotOwned = true;
    newton.SetRunningVar(Var);
    newton.SetVarValue(Var, Start);
    newton.Calculate();
    if (newton.GetErrorText().empty()) {
      Picture.Root = newton.Value;
      Picture.RootLegend = kTextRoot + ValueToText(newton.Value);
    } else {
      Picture.Notes.push_back(newton.GetErrorText());
    }
  }

  void Mark(const std::vector<plot::TMarked>& marks, const std::vector<std::string>& lines) {
    Picture.Marks = marks;
    if (Svg) {
      Picture.Description = lines;
    } else {
      for (const std::string& line : lines) WriteLine(line);
    }
  }

  void Write() {
    for (TSampled& sampled : Curves) Picture.Curves.push_back(std::move(sampled.Curve));
    if (Svg) {
      const std::string document = plot::SvgPicture(Picture);
      std::fwrite(document.data(), 1, document.size(), stdout);
      return;
    }
    WriteLines(plot::TextPicture(Picture, Style, ToConsole));
  }

  // The term's text at the interval's start, where it has no value.
  std::string FailureAtStart() {
    F.SetVarValue(Var, Picture.From);
    F.Calculate();
    return FailureText(F);
  }

 private:
  void AddFormed(const std::string& text, bool ok, const std::string& legend) {
    if (!ok) {
      Picture.Notes.push_back(text);
      return;
    }
    FormedValues = std::make_unique<TFormedValues>(Formed, Copy, Var);
    TSampled second;
    second.Curve.Legend = legend;
    second.Evaluate = [this](long double x, long double& y) {
      return FormedValues->Evaluate(x, y);
    };
    Curves.push_back(std::move(second));
  }

  void AddIntegral() {
    TSampled second;
    second.Curve = IntegralCurve(Curves[0].Evaluate, Picture.From, Picture.To, Samples);
    second.Curve.Legend = kTextIntegralFrom + plot::ShortNumber(Picture.From, 6) + kTextNumeric;
    if (NoValue(second.Curve.Points)) {
      // The function has no value at the start: the integral has none anywhere.
      Picture.Notes.push_back(second.Curve.Legend + ": " + FailureAtStart());
    } else {
      Curves.push_back(std::move(second));
    }
  }

  const TKoMathCommandLine& Cmd;
  TKoMathTreeFunction& F;
  const std::string& Var;
  long double Start;
  bool Svg = false;
  plot::TTextStyle Style;
  std::size_t Samples = 0;
  plot::TPicture Picture;
  TKoMathPointValues Values;
  std::vector<TSampled> Curves;
  TKoMathTreeFunction Copy;
  bool CopyParsed = false;
  TKoMathTreeFunction Formed;  // the derivative or antiderivative; freed before the copy
  std::unique_ptr<TFormedValues> FormedValues;
  TKoMathDiffNumFunction Slope;
  std::string SlopeFailure;  // the text of the last point without a numeric derivative
};

}  // namespace

namespace {
// The marks of the next graph, only while a discussion draws one: no object with a destructor
// that every run would call at its end.
struct TMarkSet {
  std::vector<plot::TMarked> Marks;
  std::vector<std::string> Description;
};
TMarkSet* gMarkSet = nullptr;
}  // namespace

void SetPlotMarks(std::vector<plot::TMarked> marks, std::vector<std::string> description) {
  delete gMarkSet;
  gMarkSet = nullptr;
  if (marks.empty() && description.empty()) return;
  gMarkSet = new TMarkSet{std::move(marks), std::move(description)};
}

void RunPlot(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (!Parsed(f, true)) return;
  TPlotter plotter(cmd, f, f.GetVarValue(cmd.XVar));
  if (!plotter.IntervalOk()) {
    WriteErrorText(kTextIntervalReversed);
    return;
  }
  plotter.AddModeCurve();
  if (!plotter.Sample()) {
    // No value anywhere: the term's text at the start, as its evaluation gives it.
    WriteErrorText(plotter.FailureAtStart());
    return;
  }
  plotter.Refine();
  plotter.FindRoot();
  if (gMarkSet) plotter.Mark(gMarkSet->Marks, gMarkSet->Description);
  plotter.Write();
}
