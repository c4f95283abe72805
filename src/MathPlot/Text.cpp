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

}  // namespace

std::vector<std::string> TextPicture(
    const TPicture& picture, const TTextStyle& style,
    const std::function<std::string(const std::string&)>& toConsole) {
  const char* const* sign = style.Utf8 ? kUtf8Signs : kAsciiSigns;
  const int across = style.Utf8 ? 2 : 1;
  const int down = style.Utf8 ? 4 : 1;
  const TRange& range = picture.Range;
  const int rows = std::max(style.Rows, 2);

  const std::string top = ShortNumber(range.High, kYDigits);
  const std::string bottom = ShortNumber(range.Low, kYDigits);
  const std::size_t labelWidth = std::max(top.size(), bottom.size());
  const int cells = std::max(style.Columns - static_cast<int>(labelWidth) - 2, kFewestCells);
  const TCanvas canvas = DrawCurves(picture, cells * across, rows * down, style.Utf8 ? 4 : 0);

  // The axes where they lie inside, the root on the x axis, the columns where values run off.
  const bool xAxis = range.Low < 0 && range.High > 0;
  const bool yAxis = picture.From < 0 && picture.To > 0;
  const int axisRow = xAxis ? Cell(DotRow(0, range, canvas.Down()), down, rows) : -1;
  const int axisColumn =
      yAxis ? Cell(DotColumn(0, picture.From, picture.To, canvas.Across()), across, cells) : -1;
  int rootColumn = -1;
  int rootRow = -1;
  if (picture.Root && range.Low <= 0 && range.High >= 0) {
    rootColumn =
        Cell(DotColumn(*picture.Root, picture.From, picture.To, canvas.Across()), across, cells);
    rootRow = Cell(DotRow(0, range, canvas.Down()), down, rows);
  }
  std::vector<bool> runsAbove(static_cast<std::size_t>(cells), false);
  std::vector<bool> runsBelow(static_cast<std::size_t>(cells), false);
  for (const TCurve& curve : picture.Curves) {
    for (const TPoint& p : curve.Points) {
      if (!p.Valid) continue;
      const int column =
          Cell(DotColumn(p.X, picture.From, picture.To, canvas.Across()), across, cells);
      if (column < 0) continue;
      if (range.CutAbove && p.Y > range.High) runsAbove[static_cast<std::size_t>(column)] = true;
      if (range.CutBelow && p.Y < range.Low) runsBelow[static_cast<std::size_t>(column)] = true;
    }
  }

  std::vector<std::string> lines;
  for (int row = 0; row < rows; ++row) {
    std::string label;
    if (row == 0) {
      label = top;
    } else if (row == rows - 1) {
      label = bottom;
    } else if (row == axisRow) {
      label = "0";
    }
    std::string line = PadLeft(label, labelWidth) + " " + sign[label.empty() ? kFrame : kFrameTick];
    for (int column = 0; column < cells; ++column) {
      std::uint8_t mask = 0;
      std::uint8_t curves = 0;
      for (int dy = 0; dy < down; ++dy) {
        for (int dx = 0; dx < across; ++dx) {
          const std::uint8_t bits = canvas.At(column * across + dx, row * down + dy);
          curves |= bits;
          if (bits && style.Utf8) mask |= kBrailleBits[dy][dx];
        }
      }
      const bool onlySecond = curves == 2;
      if (row == rootRow && column == rootColumn) {
        line += Colored(sign[kRootMark], kRootColor, style.Color);
      } else if (curves && style.Utf8) {
        line += Colored(Braille(mask), kSecondColor, style.Color && onlySecond);
      } else if (curves) {
        line += Colored(onlySecond ? "o" : "*", kSecondColor, style.Color && onlySecond);
      } else if (row == 0 && runsAbove[static_cast<std::size_t>(column)]) {
        line += sign[kCutAbove];
      } else if (row == rows - 1 && runsBelow[static_cast<std::size_t>(column)]) {
        line += sign[kCutBelow];
      } else if (row == axisRow && column == axisColumn) {
        line += sign[kAxisCross];
      } else if (row == axisRow) {
        line += sign[kAxisAcross];
      } else if (column == axisColumn) {
        line += sign[kAxisDown];
      } else {
        line += ' ';
      }
    }
    TrimRight(line);
    lines.push_back(line);
  }

  std::string frame = std::string(labelWidth + 1, ' ') + sign[kCorner];
  for (int column = 0; column < cells; ++column) frame += sign[kAcross];
  lines.push_back(frame);
  const std::string from = ShortNumber(picture.From, kXDigits);
  const std::string to = ShortNumber(picture.To, kXDigits);
  const int gap = std::max(cells - static_cast<int>(from.size() + to.size()), 1);
  lines.push_back(std::string(labelWidth + 2, ' ') + from +
                  std::string(static_cast<std::size_t>(gap), ' ') + to);

  for (std::size_t k = 0; k < picture.Curves.size() && k < 2; ++k) {
    const std::string mark =
        Colored(sign[k ? kSecondLegend : kFunctionLegend], kSecondColor, style.Color && k > 0);
    lines.push_back(mark + " " + toConsole(picture.Curves[k].Legend));
  }
  if (!picture.RootLegend.empty())
    lines.push_back(Colored(sign[kRootMark], kRootColor, style.Color && picture.Root) + " " +
                    toConsole(picture.RootLegend));
  for (const std::string& note : picture.Notes) lines.push_back(toConsole(note));
  return lines;
}

}  // namespace plot
