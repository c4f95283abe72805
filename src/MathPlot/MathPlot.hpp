// Graphs of functions: samples that follow the curve where it is steep, a y range from the
// bulk of the values, and pictures as text (Unicode braille or ASCII) or as SVG.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plot {

// A point of a curve. Joined: the curve runs without a break from the point before.
struct TPoint {
  long double X = 0;
  long double Y = 0;
  bool Valid = false;  // the function has a finite value here
  bool Joined = false;
};

// The value at x into y; false where the function has none.
using TEvaluate = std::function<bool(long double x, long double& y)>;

// The x of sample i of count from from to to, ends included.
long double SampleX(long double from, long double to, std::size_t i, std::size_t count);

// count samples (at least 2) from from to to, ends included; neighbours that both have a
// value are joined.
std::vector<TPoint> SampleEvenly(const TEvaluate& evaluate, long double from, long double to,
                                 std::size_t count);

// The y range of a picture.
struct TRange {
  long double Low = -1;
  long double High = 1;
  bool CutAbove = false;  // values above High were left out
  bool CutBelow = false;
};

// The range of the values of the curves: all of them, unless some run off far beyond the
// bulk (the values between the 5% and 95% quantiles), as they do at a pole; then the range
// reaches half the bulk's width beyond the bulk on that side and is marked as cut. An end
// near zero moves to zero.
TRange ChooseRange(const std::vector<const std::vector<TPoint>*>& curves);

// Inserts samples where neighbours lie more than one unit apart, where units per y step the
// picture is high (units = rows of dots or pixels over the range), or where the function ends
// between them; then decides which neighbours the curve joins: those within a unit, and
// those that stayed apart while the gap between them kept shrinking (a continuous steep
// curve), but not a jump or a pole. At most budget evaluations in all.
void Refine(std::vector<TPoint>& points, const TEvaluate& evaluate, const TRange& range,
            long double unitsPerY, std::size_t budget);

// The part of the segment from a to b within the range, or nothing; the ends that were cut
// lie on its edges.
std::optional<std::pair<TPoint, TPoint>> ClipToRange(const TPoint& a, const TPoint& b,
                                                     const TRange& range);

// A curve of a picture with its legend text.
struct TCurve {
  std::vector<TPoint> Points;
  std::string Legend;
};

// A point of the curve a discussion found: a zero (N), a high (H) or low (T) point, an
// inflection point (W), marked by its letter.
struct TMarked {
  long double X = 0;
  long double Y = 0;
  char Kind = 'N';
};
// The legend of the letters among the marks, or none without marks.
std::string MarksLegend(const std::vector<TMarked>& marks);

// What a picture shows: the function first, then a second curve (a derivative or an
// antiderivative) drawn dashed, a root marked on the x axis, and legend lines without a curve.
struct TPicture {
  std::string Title;  // the term
  long double From = -10;
  long double To = 10;
  std::vector<TCurve> Curves;
  std::optional<long double> Root;
  std::string RootLegend;
  std::vector<TMarked> Marks;
  // Lines that describe the picture (a discussion of the curve): in the SVG document's desc.
  std::vector<std::string> Description;
  std::vector<std::string> Notes;
  TRange Range;
};

// What draws a curve: its bits, and with a dash length its dots in dashes of that many set
// and as many left out, counted along the curve.
struct TPen {
  std::uint8_t Bits = 1;
  int Dash = 0;
  int Count = 0;  // dots of the curve so far
  int LastX = -1;
  int LastY = -1;
};

// A grid of dots, each a set of curve bits (1 the function, 2 the second curve).
class TCanvas {
 public:
  TCanvas(int dotsAcross, int dotsDown);
  int Across() const { return DotsAcross; }
  int Down() const { return DotsDown; }
  std::uint8_t At(int x, int y) const;
  void Set(int x, int y, std::uint8_t bits);
  // Sets the dots on the line between two points in dot coordinates (x to the right, y
  // down), as far as it lies on the grid, with the pen that draws the curve.
  void Line(long double x0, long double y0, long double x1, long double y1, TPen& pen);

 private:
  int DotsAcross;
  int DotsDown;
  std::vector<std::uint8_t> Dots;
};

// The curves of the picture drawn on a canvas of the given dots over its interval and range.
TCanvas DrawCurves(const TPicture& picture, int dotsAcross, int dotsDown, int dashLength);

// The dot row of y on a canvas of dotsDown rows, top 0; the dot column of x likewise.
long double DotRow(long double y, const TRange& range, int dotsDown);
long double DotColumn(long double x, long double from, long double to, int dotsAcross);

struct TTextStyle {
  int Columns = 80;    // the whole width in characters
  int Rows = 27;       // rows of the canvas
  bool Utf8 = false;   // braille and box drawing, else ASCII
  bool Color = false;  // terminal colours for the second curve and the root
};

// The picture as lines of text: the canvas with the y labels to its left, the x labels
// below, then the legend. The bytes are UTF-8 with Utf8, else ASCII; the legend's own texts
// are passed through toConsole.
std::vector<std::string> TextPicture(
    const TPicture& picture, const TTextStyle& style,
    const std::function<std::string(const std::string&)>& toConsole);

// Width and height of the SVG picture in pixels.
inline constexpr int kSvgWidth = 800;
inline constexpr int kSvgHeight = 500;
// The plot area inside it.
inline constexpr int kSvgLeft = 80;
inline constexpr int kSvgRight = 780;
inline constexpr int kSvgTop = 40;
inline constexpr int kSvgBottom = 450;

// The picture as an SVG 1.1 document; texts are Latin-1 and written as UTF-8.
std::string SvgPicture(const TPicture& picture);

// A short text of a number for labels: at most digits significant digits, "1.5E+20" beyond
// ordinary magnitudes.
std::string ShortNumber(long double v, int digits);

// The texts of two different numbers, with at least digits significant digits and as many
// more as it takes to tell them apart.
std::pair<std::string, std::string> DistinctNumbers(long double a, long double b, int digits);

// The digits the labels of ticks need: enough that neighbours a step apart differ.
int TickDigits(long double first, long double step, long double last, int digits);

// The first tick and the step of about count round ticks (1, 2 or 5 times a power of ten)
// between low and high.
std::pair<long double, long double> Ticks(long double low, long double high, int count);
// Tick i from first in steps of step; within rounding of zero it is zero.
long double Tick(long double first, long double step, int i);

}  // namespace plot
