// The picture as text: braille characters of 2x4 dots in UTF-8, or one ASCII character per
// cell, with labelled axes and a legend.
#include <algorithm>
#include <cmath>

#include "MathPlot/MathPlot.hpp"

namespace plot {

namespace {

// The characters of the two sets, in the order of TSign.
enum TSign : std::uint8_t {
  kFrame,
  kFrameTick,
  kCorner,
  kAcross,
  kAxisAcross,
  kAxisDown,
  kAxisCross,
  kCutAbove,
  kCutBelow,
  kRootMark,
  kFunctionLegend,
  kSecondLegend,
  kSigns
};
constexpr const char* kUtf8Signs[kSigns] = {"│", "┤", "└", "─", "─",  "│",
                                            "┼", "↑", "↓", "◆", "──", "╌╌"};
constexpr const char* kAsciiSigns[kSigns] = {"|", "+", "+", "-", "-",  "|",
                                             "+", "^", "v", "X", "**", "oo"};
constexpr const char* kSecondColor = "\x1b[35m";
constexpr const char* kRootColor = "\x1b[31m";
constexpr const char* kNoColor = "\x1b[0m";
// Digits of the labels of the y and the x axis.
constexpr int kYDigits = 5;
constexpr int kXDigits = 6;
constexpr int kFewestCells = 10;
// Dots in a dash of the second curve, and in the gap after it.
constexpr int kDash = 3;

// The bit of a braille character for the dot in column x (0, 1) and row y (0 to 3).
constexpr std::uint8_t kBrailleBits[4][2] = {
    {0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};

std::string Braille(std::uint8_t mask) {
  // U+2800 plus the mask, in UTF-8.
  std::string s;
  s += static_cast<char>(0xE2);
  s += static_cast<char>(0xA0 + (mask >> 6));
  s += static_cast<char>(0x80 + (mask & 0x3F));
  return s;
}

std::string Colored(const std::string& text, const char* color, bool on) {
  return on ? color + text + kNoColor : text;
}

std::string PadLeft(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

void TrimRight(std::string& line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
}

// The cell of a dot coordinate, or -1 off the grid.
int Cell(long double dot, int dotsPerCell, int cells) {
  if (!std::isfinite(dot)) return -1;
  const long double rounded = std::round(dot);
  if (rounded < 0 || rounded >= static_cast<long double>(cells * dotsPerCell)) return -1;
  return static_cast<int>(rounded) / dotsPerCell;
}

// Paints the picture's text: the canvas cell by cell, with the marks that go in its empty
// cells, the labels and the legend.
class TTextPainter {
 public:
  TTextPainter(const TPicture& picture, const TTextStyle& style)
      : Picture(picture),
        Style(style),
        Sign(style.Utf8 ? kUtf8Signs : kAsciiSigns),
        Across(style.Utf8 ? 2 : 1),
        Down(style.Utf8 ? 4 : 1),
        Rows(std::max(style.Rows, 2)),
        Top(DistinctNumbers(picture.Range.High, picture.Range.Low, kYDigits).first),
        Bottom(DistinctNumbers(picture.Range.High, picture.Range.Low, kYDigits).second),
        LabelWidth(std::max(Top.size(), Bottom.size())),
        Cells(std::max(style.Columns - static_cast<int>(LabelWidth) - 2, kFewestCells)),
        Canvas(DrawCurves(picture, Cells * Across, Rows * Down, style.Utf8 ? kDash : 0)) {
    FindMarks();
  }

  std::vector<std::string> Lines(const std::function<std::string(const std::string&)>& toConsole) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(Rows) + 4 + Picture.Notes.size());
    for (int row = 0; row < Rows; ++row) lines.push_back(Row(row));
    std::string frame = std::string(LabelWidth + 1, ' ') + Sign[kCorner];
    for (int column = 0; column < Cells; ++column) frame += Sign[kAcross];
    lines.push_back(frame);
    const auto [from, to] = DistinctNumbers(Picture.From, Picture.To, kXDigits);
    const int gap = std::max(Cells - static_cast<int>(from.size() + to.size()), 1);
    lines.push_back(std::string(LabelWidth + 2, ' ') + from +
                    std::string(static_cast<std::size_t>(gap), ' ') + to);
    for (std::size_t k = 0; k < Picture.Curves.size() && k < 2; ++k) {
      const std::string mark =
          Colored(Sign[k ? kSecondLegend : kFunctionLegend], kSecondColor, Style.Color && k > 0);
      lines.push_back(mark + " " + toConsole(Picture.Curves[k].Legend));
    }
    if (!Picture.RootLegend.empty())
      lines.push_back(Colored(Sign[kRootMark], kRootColor, Style.Color && Picture.Root) + " " +
                      toConsole(Picture.RootLegend));
    if (!Picture.Marks.empty()) lines.push_back(toConsole(MarksLegend(Picture.Marks)));
    for (const std::string& note : Picture.Notes) lines.push_back(toConsole(note));
    return lines;
  }

 private:
  int Column(long double x) const {
    return Cell(DotColumn(x, Picture.From, Picture.To, Canvas.Across()), Across, Cells);
  }
  int RowOf(long double y) const {
    return Cell(DotRow(y, Picture.Range, Canvas.Down()), Down, Rows);
  }

  // The axes where they lie inside, the root on the x axis, the columns where values run off.
  void FindMarks() {
    const TRange& range = Picture.Range;
    if (range.Low < 0 && range.High > 0) AxisRow = RowOf(0);
    if (Picture.From < 0 && Picture.To > 0) AxisColumn = Column(0);
    if (Picture.Root && range.Low <= 0 && range.High >= 0) {
      RootColumn = Column(*Picture.Root);
      RootRow = RowOf(0);
    }
    for (const TMarked& mark : Picture.Marks) {
      if (mark.X < Picture.From || mark.X > Picture.To || mark.Y < range.Low || mark.Y > range.High)
        continue;
      Marked.push_back({RowOf(mark.Y), Column(mark.X), mark.Kind});
    }
    RunsAbove.assign(static_cast<std::size_t>(Cells), false);
    RunsBelow.assign(static_cast<std::size_t>(Cells), false);
    for (const TCurve& curve : Picture.Curves) {
      for (const TPoint& p : curve.Points) {
        const int column = p.Valid ? Column(p.X) : -1;
        if (column < 0) continue;
        if (range.CutAbove && p.Y > range.High) RunsAbove[static_cast<std::size_t>(column)] = true;
        if (range.CutBelow && p.Y < range.Low) RunsBelow[static_cast<std::size_t>(column)] = true;
      }
    }
  }

  std::string Row(int row) const {
    std::string label;
    if (row == 0) {
      label = Top;
    } else if (row == Rows - 1) {
      label = Bottom;
    } else if (row == AxisRow) {
      label = "0";
    }
    std::string line = PadLeft(label, LabelWidth) + " " + Sign[label.empty() ? kFrame : kFrameTick];
    for (int column = 0; column < Cells; ++column) line += CellText(row, column);
    TrimRight(line);
    return line;
  }

  std::string CellText(int row, int column) const {
    std::uint8_t mask = 0;
    std::uint8_t curves = 0;
    for (int dy = 0; dy < Down; ++dy) {
      for (int dx = 0; dx < Across; ++dx) {
        const std::uint8_t bits = Canvas.At(column * Across + dx, row * Down + dy);
        curves |= bits;
        if (bits) mask |= kBrailleBits[dy][dx];
      }
    }
    const bool onlySecond = curves == 2;
    if (row == RootRow && column == RootColumn)
      return Colored(Sign[kRootMark], kRootColor, Style.Color);
    for (const TCellMark& mark : Marked)
      if (mark.Row == row && mark.Column == column)
        return Colored(std::string(1, mark.Kind), kRootColor, Style.Color);
    if (curves) {
      const std::string text = Style.Utf8 ? Braille(mask) : onlySecond ? "o" : "*";
      return Colored(text, kSecondColor, Style.Color && onlySecond);
    }
    const auto index = static_cast<std::size_t>(column);
    if (row == 0 && RunsAbove[index]) return Sign[kCutAbove];
    if (row == Rows - 1 && RunsBelow[index]) return Sign[kCutBelow];
    if (row == AxisRow) return Sign[column == AxisColumn ? kAxisCross : kAxisAcross];
    if (column == AxisColumn) return Sign[kAxisDown];
    return " ";
  }

  const TPicture& Picture;
  const TTextStyle& Style;
  const char* const* Sign;
  int Across;  // dots per cell
  int Down;
  int Rows;
  std::string Top;  // the labels of the y axis
  std::string Bottom;
  std::size_t LabelWidth;
  int Cells;  // across
  TCanvas Canvas;
  int AxisRow = -1;
  int AxisColumn = -1;
  int RootRow = -1;
  int RootColumn = -1;
  struct TCellMark {
    int Row;
    int Column;
    char Kind;
  };
  std::vector<TCellMark> Marked;
  std::vector<bool> RunsAbove;  // by column
  std::vector<bool> RunsBelow;
};

}  // namespace

std::string MarksLegend(const std::vector<TMarked>& marks) {
  static constexpr std::pair<char, const char*> kNames[] = {
      {'N', "Nullstelle"}, {'H', "Hochpunkt"}, {'T', "Tiefpunkt"}, {'W', "Wendepunkt"}};
  std::string legend;
  for (const auto& [kind, name] : kNames) {
    const bool present = std::any_of(marks.begin(), marks.end(),
                                     [kind = kind](const TMarked& m) { return m.Kind == kind; });
    if (present) legend += (legend.empty() ? "" : ", ") + std::string(1, kind) + " " + name;
  }
  return legend;
}

std::vector<std::string> TextPicture(
    const TPicture& picture, const TTextStyle& style,
    const std::function<std::string(const std::string&)>& toConsole) {
  return TTextPainter(picture, style).Lines(toConsole);
}

}  // namespace plot
