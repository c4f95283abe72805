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
// A numeric derivative costs tens of evaluations of the term.
constexpr std::size_t kNumericRefinements = 2000;
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
  if (writeError) {
    NoteErrorLine();
    WriteLine(parser.ErrorText.empty() ? kTextSyntaxError : parser.ErrorText);
  }
  return false;
}

// Whether the command line gives the standard variable a value.
bool StartGiven(const TKoMathCommandLine& cmd) {
  const std::string upper = UpperCase(cmd.XVar);
  for (const TKoCmdlVariable& variable : cmd.Variables)
    if (variable.Value && UpperCase(variable.Name) == upper) return true;
  return false;
}

// The interval: from the standard variable's value to \t; with one of them only, 20 wide
// around the value or up to \t; with neither, -10 to 10.
void Interval(const TKoMathCommandLine& cmd, long double start, long double& from,
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

}  // namespace

void RunPlot(const TKoMathCommandLine& cmd, TKoMathTreeFunction& f) {
  if (!Parsed(f, true)) return;
  plot::TPicture picture;
  const long double start = f.GetVarValue(cmd.XVar);
  Interval(cmd, start, picture.From, picture.To);
  if (!(picture.From < picture.To)) {
    NoteErrorLine();
    WriteLine(kTextIntervalReversed);
    return;
  }
  const std::string& var = cmd.XVar;
  picture.Title = f.FunctionString();
  const bool svg = PlotForm() == TPlotForm::kSvg;
  const plot::TTextStyle style = TextStyle();
  const std::size_t samples =
      svg ? kSvgSamples
          : static_cast<std::size_t>(style.Columns) * (style.Utf8 ? 2 : 1) * kSamplesPerColumn;

  // The function, through its program.
  TKoMathPointValues values(&f);
  values.SetRunningVar(var);
  values.Calculate();
  std::vector<TSampled> curves(1);
  curves[0].Curve.Legend = picture.Title;
  curves[0].Evaluate = [&values](long double x, long double& y) {
    return values.TryEvaluateAt(x, y);
  };

  // A copy of the term for the second curve and the root: their methods change the values
  // and the tree they work on.
  TKoMathTreeFunction copy;
  BindCommandLine(cmd, copy);
  const bool copyParsed = Parsed(copy, false);
  TKoMathTreeFunction formed;  // the derivative or antiderivative; freed before the copy
  std::unique_ptr<TFormedValues> formedValues;
  TKoMathDiffNumFunction slope(&copy);
  slope.OtherNotOwned = true;
  std::string slopeFailure;  // the text of the last point without a numeric derivative
  const std::string level = std::to_string(cmd.DiffLevel);
  if (copyParsed && cmd.DiffLevel > 0 && !cmd.Numerical) {
    bool ok = false;
    const std::string text = DerivativeText(copy, var, cmd.DiffLevel, formed, ok);
    if (ok) {
      formedValues = std::make_unique<TFormedValues>(formed, copy, var);
      TSampled second;
      second.Curve.Legend = level + kTextDerivative + text;
      second.Evaluate = [&formedValues](long double x, long double& y) {
        return formedValues->Evaluate(x, y);
      };
      curves.push_back(std::move(second));
    } else {
      picture.Notes.push_back(text);
    }
  } else if (copyParsed && cmd.DiffLevel > 0) {
    slope.SetDiffLevel(cmd.DiffLevel);
    slope.SetRunningVar(var);
    TSampled second;
    second.Curve.Legend = level + kTextDerivativeNumeric;
    second.Budget = kNumericRefinements;
    second.Evaluate = [&copy, &slope, &var, &slopeFailure](long double x, long double& y) {
      copy.SetErrorText("");
      copy.SetVarValue(var, x);
      slope.Calculate();
      y = slope.Value;
      if (copy.GetErrorText().empty()) return true;
      slopeFailure = copy.GetErrorText();
      return false;
    };
    curves.push_back(std::move(second));
  } else if (copyParsed && cmd.Stamm && !cmd.Numerical) {
    bool ok = false;
    const std::string text = AntiderivativeText(copy, var, formed, ok);
    if (ok) {
      formedValues = std::make_unique<TFormedValues>(formed, copy, var);
      TSampled second;
      second.Curve.Legend = kTextAntiderivative + text;
      second.Evaluate = [&formedValues](long double x, long double& y) {
        return formedValues->Evaluate(x, y);
      };
      curves.push_back(std::move(second));
    } else {
      picture.Notes.push_back(text);
    }
  }

  for (TSampled& sampled : curves)
    sampled.Curve.Points = plot::SampleEvenly(sampled.Evaluate, picture.From, picture.To, samples);
  if (!slopeFailure.empty() && curves.size() > 1 && NoValue(curves[1].Curve.Points)) {
    picture.Notes.push_back(slopeFailure);
    curves.pop_back();
  }
  if (cmd.Stamm && cmd.Numerical) {
    TSampled second;
    second.Curve = IntegralCurve(curves[0].Evaluate, picture.From, picture.To, samples);
    second.Curve.Legend = kTextIntegralFrom + plot::ShortNumber(picture.From, 6) + kTextNumeric;
    if (NoValue(second.Curve.Points)) {
      // The function has no value at the start: the integral has none anywhere.
      f.SetVarValue(var, picture.From);
      f.Calculate();
      picture.Notes.push_back(second.Curve.Legend + ": " + FailureText(f));
    } else {
      curves.push_back(std::move(second));
    }
  }

  // No value anywhere: the term's text at the start, as its evaluation gives it.
  if (NoValue(curves[0].Curve.Points)) {
    f.SetVarValue(var, picture.From);
    f.Calculate();
    NoteErrorLine();
    WriteLine(FailureText(f));
    return;
  }

  std::vector<const std::vector<plot::TPoint>*> all;
  for (const TSampled& sampled : curves) all.push_back(&sampled.Curve.Points);
  picture.Range = plot::ChooseRange(all);
  const int dotsDown = style.Rows * (style.Utf8 ? 4 : 1);
  const long double unitsDown = svg ? kSvgUnitsDown : static_cast<long double>(dotsDown - 1);
  const long double unitsPerY = unitsDown / (picture.Range.High - picture.Range.Low);
  for (TSampled& sampled : curves)
    if (sampled.Evaluate)
      plot::Refine(sampled.Curve.Points, sampled.Evaluate, picture.Range, unitsPerY,
                   sampled.Budget);

  if (copyParsed && cmd.Newton) {
    TKoMathNewtonFunction newton(&copy);
    newton.OtherNotOwned = true;
    newton.SetRunningVar(var);
    newton.SetVarValue(var, start);
    newton.Calculate();
    if (newton.GetErrorText().empty()) {
      picture.Root = newton.Value;
      picture.RootLegend = kTextRoot + ValueToText(newton.Value);
    } else {
      picture.Notes.push_back(newton.GetErrorText());
    }
  }

  for (TSampled& sampled : curves) picture.Curves.push_back(std::move(sampled.Curve));
  if (svg) {
    const std::string document = plot::SvgPicture(picture);
    std::fwrite(document.data(), 1, document.size(), stdout);
    return;
  }
  WriteLines(plot::TextPicture(picture, style, ToConsole));
}
