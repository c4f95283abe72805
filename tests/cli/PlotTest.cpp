#include <expat.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.hpp"

namespace {

// The elements of an XML document with their attributes and text, in document order.
struct TElement {
  std::string Name;
  std::map<std::string, std::string> Attributes;
  std::string Text;
};

struct TDocument {
  bool WellFormed = false;
  std::string Error;
  std::vector<TElement> Elements;
};

TDocument Parse(const std::string& xml) {
  TDocument document;
  struct TState {
    TDocument* Document;
    std::vector<std::size_t> Open;
  } state{&document, {}};
  XML_Parser parser = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* s = static_cast<TState*>(data);
        TElement element;
        element.Name = name;
        for (int i = 0; attributes[i]; i += 2)
          element.Attributes[attributes[i]] = attributes[i + 1];
        s->Open.push_back(s->Document->Elements.size());
        s->Document->Elements.push_back(element);
      },
      [](void* data, const XML_Char*) { static_cast<TState*>(data)->Open.pop_back(); });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    auto* s = static_cast<TState*>(data);
    if (!s->Open.empty())
      s->Document->Elements[s->Open.back()].Text.append(text, static_cast<std::size_t>(length));
  });
  document.WellFormed =
      XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  if (!document.WellFormed) document.Error = XML_ErrorString(XML_GetErrorCode(parser));
  XML_ParserFree(parser);
  return document;
}

std::vector<std::pair<double, double>> PolylinePoints(const TElement& element) {
  std::vector<std::pair<double, double>> points;
  std::istringstream in(element.Attributes.at("points"));
  std::string pair;
  while (in >> pair) {
    const auto comma = pair.find(',');
    points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
  }
  return points;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Characters of a UTF-8 line.
std::size_t Characters(const std::string& line) {
  std::size_t count = 0;
  for (const char c : line) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// Runs with COLUMNS set to columns, or unset for an empty text.
CliResult RunWithColumns(const std::vector<std::string>& args, const char* columns) {
  const char* before = std::getenv("COLUMNS");
  const std::string saved = before ? before : "";
  if (*columns) {
    setenv("COLUMNS", columns, 1);
  } else {
    unsetenv("COLUMNS");
  }
  CliResult result = RunTcalc(args);
  if (before) {
    setenv("COLUMNS", saved.c_str(), 1);
  } else {
    unsetenv("COLUMNS");
  }
  return result;
}

// The plot area of the SVG picture and the range of the curve drawn in it.
constexpr double kLeft = 80, kRight = 780, kTop = 40, kBottom = 450;

}  // namespace

TEST(Plot, SvgIsWellFormedAndItsPolylinesLieOnTheFunction) {
  const CliResult r = RunTcalc({"--plot=svg", "\\vx=-3", "\\t3", "x^3-2*x"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const TDocument document = Parse(r.out);
  ASSERT_TRUE(document.WellFormed) << document.Error;
  ASSERT_FALSE(document.Elements.empty());
  EXPECT_EQ(document.Elements[0].Name, "svg");
  EXPECT_EQ(document.Elements[0].Attributes.at("version"), "1.1");
  EXPECT_EQ(document.Elements[0].Attributes.at("xmlns"), "http://www.w3.org/2000/svg");
  std::size_t points = 0, texts = 0;
  bool titled = false;
  for (const TElement& element : document.Elements) {
    if (element.Name == "title" && element.Text == "x^3-2*x") titled = true;
    if (element.Name == "text") ++texts;
    if (element.Name != "polyline") continue;
    // From -3 to 3 the values run from -21 to 21.
    for (const auto& [px, py] : PolylinePoints(element)) {
      const double x = -3 + (px - kLeft) / (kRight - kLeft) * 6;
      const double y = x * x * x - 2 * x;
      EXPECT_NEAR(py, kTop + (21 - y) / 42 * (kBottom - kTop), 0.1) << px;
      ++points;
    }
  }
  EXPECT_TRUE(titled);
  // One polyline of at least a point per pixel column; tick labels on both axes.
  EXPECT_GE(points, 700U);
  EXPECT_GE(texts, 10U);
}

TEST(Plot, SvgPiecesEndAtPolesAndAtTheEdges) {
  const CliResult r = RunTcalc({"--plot=svg", "\\d1", "1/x"});
  const TDocument document = Parse(r.out);
  ASSERT_TRUE(document.WellFormed) << document.Error;
  std::map<std::string, int> pieces;
  for (const TElement& element : document.Elements) {
    if (element.Name != "polyline") continue;
    ++pieces[element.Attributes.at("stroke")];
    for (const auto& [px, py] : PolylinePoints(element)) {
      EXPECT_TRUE(px >= kLeft && px <= kRight) << px;
      EXPECT_TRUE(py >= kTop - 1e-9 && py <= kBottom + 1e-9) << py;
    }
  }
  // The function and its derivative, each in two pieces either side of the pole.
  ASSERT_EQ(pieces.size(), 2U);
  for (const auto& [stroke, count] : pieces) EXPECT_EQ(count, 2) << stroke;
  EXPECT_NE(r.out.find("1. Ableitung: -1/x^2"), std::string::npos);
}

TEST(Plot, TextWidthFromColumnsElse80) {
  struct TCase {
    const char* columns;
    std::size_t width;
    std::size_t rows;
  } cases[] = {{"", 80, 26},    {"50", 50, 16}, {"120", 120, 40},
               {"abc", 80, 26}, {"5", 20, 12},  {"30", 30, 12}};
  for (const TCase& c : cases) {
    const CliResult r = RunWithColumns({"--plot", "sin(x)"}, c.columns);
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> lines = Lines(r.out);
    // Canvas rows, the frame, the x labels and the legend.
    ASSERT_EQ(lines.size(), c.rows + 3) << c.columns;
    EXPECT_EQ(lines[c.rows].size(), c.width) << c.columns;
    EXPECT_EQ(lines[c.rows + 1].size(), c.width) << c.columns;
    for (const std::string& line : lines) EXPECT_LE(line.size(), c.width) << line;
    EXPECT_EQ(lines.back(), "** sin(x)");
  }
}

TEST(Plot, ModesAddTheirCurveOrRoot) {
  struct TCase {
    std::vector<std::string> args;
    std::string legend;  // the lines after the x labels
  } cases[] = {
      {{"\\d2", "x^3"}, "** x^3\noo 2. Ableitung: x*6\n"},
      {{"\\d3", "x^3"}, "** x^3\noo 3. Ableitung: 6\n"},
      {{"\\m", "\\d2", "x^3"}, "** x^3\noo 2. Ableitung (numerisch)\n"},
      {{"\\i", "x"}, "** x\noo Stammfunktion: 0.5*x^2\n"},
      {{"\\m", "\\i", "\\vx=0", "\\t2", "x"}, "** x\noo Integral ab 0 (numerisch)\n"},
      {{"\\n", "\\vx=1", "x^2-2"}, "** x^2-2\nX Nullstelle: 1.414213562373095\n"},
      {{"\\n", "\\vx=5", "x^2+1"}, "** x^2+1\nNewtonverfahren konvergiert nicht!\n"},
      {{"\\i", "sin(x)^7*exp(x)/x"},
       "** sin(x)^7*exp(x)/x\nDie Stammfunktion konnte nicht gebildet werden.\n"},
      {{"\\m", "\\d9", "x"}, "** x\nNumerisch gibt es h\224chstens die 8. Ableitung!\n"},
      {{"\\m", "\\i", "\\vx=-2", "\\t3", "sqrt(x)"},
       "** sqrt(x)\nIntegral ab -2 (numerisch): Invalid floating point operation\n"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"--plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = RunWithColumns(args, "60");
    EXPECT_EQ(r.status, 0);
    // The legend follows the frame's bottom line and the x labels.
    const std::vector<std::string> lines = Lines(r.out);
    std::string legend;
    bool below = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      if (below) legend += lines[i + 1] + "\n";
      below = below || lines[i].find_first_not_of(' ') == lines[i].find("+-");
    }
    EXPECT_EQ(legend, c.legend) << c.args.back();
  }
}

TEST(Plot, TheRootIsMarkedOnTheXAxis) {
  const CliResult r = RunWithColumns({"--plot", "\\n", "\\vx=1", "\\t3", "x^2-2"}, "60");
  const std::vector<std::string> lines = Lines(r.out);
  // From 1 to 3 the values run from -1 to 7: the x axis is the third row from the bottom; the
  // root at 1.414 lies a fifth of the way.
  const std::string& axis = lines[17];
  EXPECT_EQ(axis.substr(0, 4), " 0 +");
  const auto mark = axis.find('X');
  ASSERT_NE(mark, std::string::npos);
  EXPECT_NEAR(static_cast<double>(mark - 4), (1.4142 - 1) / 2 * 55, 1.5);
}

TEST(Plot, ErrorLinesAsTheNumericModesGiveThem) {
  ExpectCases({
      {{"--plot", "\\vx=3", "\\t1", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n"},
      {{"--plot", "\\vx=3", "\\t3", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n"},
      {{"--plot", "sin("}, "Syntaxfehler\n"},
      {{"--plot", "\\vx=-5", "\\t-1", "sqrt(x)"}, "Invalid floating point operation\n"},
      {{"--plot", "\\vx=-5", "\\t-1", "1/0"}, "Division durch 0\n"},
      {{"--strict", "--plot", "\\vx=1", "\\t0", "x"},
       "Intervallende muss gr\224\341er als Intervallanfang sein!\n",
       1},
  });
  const CliResult r = RunTcalc({"--plot=png", "x"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Unbekannte Option: --plot=png (Hilfe: tcalc --help)\n");
}

TEST(Plot, IntervalFromTheCommandLine) {
  struct TCase {
    std::vector<std::string> args;
    std::string labels;
  } cases[] = {
      {{"x"}, "-10 10"},
      {{"\\vx=2", "\\t5", "x"}, "2 5"},
      {{"\\vx=2", "x"}, "-8 12"},
      {{"\\t5", "x"}, "-15 5"},
      {{"\\xt", "\\vt=1", "\\t4", "t"}, "1 4"},
      {{"\\vX=0.5", "\\t1E+30", "x"}, "0.5 1E+30"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"--plot"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const std::vector<std::string> lines = Lines(RunWithColumns(args, "60").out);
    ASSERT_GE(lines.size(), 2U);
    std::istringstream in(lines[lines.size() - 2]);
    std::string from, to;
    in >> from >> to;
    from += " ";
    EXPECT_EQ(from + to, c.labels);
  }
}

TEST(Plot, BrailleOnAUtf8TerminalOfItsWidth) {
  const CliResult r = RunTcalcOnTerminal({"--plot", "\\d1", "x^2"}, "de_DE.UTF-8", 100, 50);
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> lines = Lines(r.out);
  // A third of 100 columns high, within the 50 rows of the terminal.
  ASSERT_EQ(lines.size(), 33U + 4);
  EXPECT_EQ(Characters(lines[33]), 100U);
  EXPECT_EQ(lines[33].find("└──"), 4U);
  std::size_t braille = 0;
  for (std::size_t i = 0; i < 33; ++i)
    for (const char second : {'\xA0', '\xA1', '\xA2', '\xA3'})
      braille += lines[i].find(std::string("\xE2") + second) != std::string::npos;
  EXPECT_GE(braille, 20U);
  // The derivative in colour, the legend marks as the curves are drawn.
  EXPECT_NE(r.out.find("\x1b[35m"), std::string::npos);
  EXPECT_EQ(lines[35], "── x^2");
  EXPECT_EQ(lines[36], "\x1b[35m╌╌\x1b[0m 1. Ableitung: 2*x");
  // A terminal lower than a third of its width: the canvas fits it.
  const CliResult low = RunTcalcOnTerminal({"--plot", "x"}, "de_DE.UTF-8", 120, 20);
  EXPECT_EQ(Lines(low.out).size(), 15U + 3);
  // --utf8 draws braille without a terminal.
  EXPECT_NE(RunTcalc({"--utf8", "--plot", "x"}).out.find("\xE2\xA0"), std::string::npos);
}

TEST(Plot, EachLineOfStandardInputIsPlotted) {
  const CliResult r = RunTcalcWithInput({"--plot", "-"}, "x\nx^2\n");
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2 * (26U + 3));
  EXPECT_EQ(lines[28], "** x");
  EXPECT_EQ(lines[57], "** x^2");
}

// An SVG document asked for and none possible: the text on standard error, nothing on
// standard output, status 1.
TEST(Plot, SvgErrorsGoToStandardErrorWithStatusOne) {
  struct TCase {
    std::vector<std::string> args;
    std::string err;
  };
  const std::vector<TCase> cases = {
      {{"--plot=svg", "\\vx=1", "\\t0", "x"},
       "Intervallende muss gr\x94\xE1\x65r als Intervallanfang sein!\n"},
      {{"--plot=svg", "x+"}, "Syntaxfehler\n"},
      {{"--plot=svg", "\\va=1,5", "\\vb=x", "a"},
       "Illegaler Parameterwert: 1,5\nIllegaler Parameterwert: x\n"},
      {{"--plot=svg", "ln(0-1)"}, "Invalid floating point operation\n"},
  };
  for (const TCase& c : cases) {
    const CliResult r = RunTcalc(c.args);
    EXPECT_EQ(r.out, "") << c.args.back();
    EXPECT_EQ(r.err, c.err) << c.args.back();
    EXPECT_EQ(r.status, 1) << c.args.back();
  }
}
