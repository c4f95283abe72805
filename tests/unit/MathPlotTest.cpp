#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "MathPlot/MathPlot.hpp"

namespace {

using plot::TPicture;
using plot::TPoint;
using plot::TRange;

std::string Same(const std::string& text) {
  return text;
}

// The curve of evaluate over the picture's interval, sampled and refined as a run does it
// for a canvas of dotsDown rows.
TPicture Picture(const plot::TEvaluate& evaluate, long double from, long double to, int dotsAcross,
                 int dotsDown) {
  TPicture picture;
  picture.From = from;
  picture.To = to;
  plot::TCurve curve;
  curve.Points = plot::SampleEvenly(evaluate, from, to, 2 * static_cast<std::size_t>(dotsAcross));
  picture.Range = plot::ChooseRange({&curve.Points});
  plot::Refine(curve.Points, evaluate, picture.Range,
               (dotsDown - 1) / (picture.Range.High - picture.Range.Low), 40000);
  picture.Curves.push_back(curve);
  return picture;
}

plot::TEvaluate Function(long double (*f)(long double)) {
  return [f](long double x, long double& y) {
    y = f(x);
    return true;
  };
}

// The dot columns of a canvas in which the curve has a dot in the rows of f, within one row,
// and none elsewhere.
struct TCanvasCheck {
  int ColumnsWithDot = 0;
  int DotsOffCurve = 0;
};

TCanvasCheck Check(const plot::TCanvas& canvas, const TPicture& picture,
                   long double (*f)(long double)) {
  TCanvasCheck check;
  const int across = canvas.Across();
  for (int x = 0; x < across; ++x) {
    // The curve passes this column between the x of its left and right edge.
    const long double width = picture.To - picture.From;
    const long double left = picture.From + width * (x - 0.5L) / (across - 1);
    const long double right = picture.From + width * (x + 0.5L) / (across - 1);
    long double top = 1e300L, bottom = -1e300L;
    for (int i = 0; i <= 20; ++i) {
      const long double row =
          plot::DotRow(f(left + (right - left) * i / 20), picture.Range, canvas.Down());
      top = std::min(top, row);
      bottom = std::max(bottom, row);
    }
    bool any = false;
    for (int y = 0; y < canvas.Down(); ++y) {
      if (!canvas.At(x, y)) continue;
      any = true;
      if (y < top - 1 || y > bottom + 1) ++check.DotsOffCurve;
    }
    if (any) ++check.ColumnsWithDot;
  }
  return check;
}

long double Line(long double x) {
  return x / 2 + 1;
}
long double Square(long double x) {
  return x * x;
}
long double Sine(long double x) {
  return std::sin(x);
}

// The dots of the braille characters of text lines, as a canvas of 2x4 dots per character;
// other characters have none. skip characters are left out at the start of each line.
plot::TCanvas Decoded(const std::vector<std::string>& lines, int rows, int cells,
                      std::size_t skip) {
  plot::TCanvas canvas(cells * 2, rows * 4);
  constexpr int kBits[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
  for (int row = 0; row < rows; ++row) {
    const std::string& line = lines[static_cast<std::size_t>(row)];
    std::size_t character = 0;
    for (std::size_t i = 0; i < line.size();) {
      const auto lead = static_cast<unsigned char>(line[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (character >= skip && length == 3 && lead == 0xE2 &&
          (static_cast<unsigned char>(line[i + 1]) & 0xFC) == 0xA0) {
        const int mask = ((static_cast<unsigned char>(line[i + 1]) & 0x03) << 6) |
                         (static_cast<unsigned char>(line[i + 2]) & 0x3F);
        const int cell = static_cast<int>(character - skip);
        for (int dy = 0; dy < 4; ++dy)
          for (int dx = 0; dx < 2; ++dx)
            if (mask & kBits[dy][dx]) canvas.Set(cell * 2 + dx, row * 4 + dy, 1);
      }
      i += length;
      ++character;
    }
  }
  return canvas;
}

}  // namespace

TEST(MathPlot, CanvasDotsLieOnKnownFunctions) {
  struct TCase {
    const char* name;
    long double (*f)(long double);
    long double from, to;
  } cases[] = {
      {"line", Line, -10, 10},
      {"square", Square, -10, 10},
      {"sine", Sine, -10, 10},
      {"sine far out", Sine, 1e6L, 1e6L + 7},
  };
  for (const TCase& c : cases) {
    const TPicture picture = Picture(Function(c.f), c.from, c.to, 156, 108);
    const plot::TCanvas canvas = plot::DrawCurves(picture, 156, 108, 0);
    const TCanvasCheck check = Check(canvas, picture, c.f);
    EXPECT_EQ(check.ColumnsWithDot, 156) << c.name;
    EXPECT_EQ(check.DotsOffCurve, 0) << c.name;
    // A continuous curve has no gaps: in each column the dots reach those of the next.
    for (int x = 0; x + 1 < canvas.Across(); ++x) {
      int lowest = -1, highest = 1 << 20, nextLowest = -1, nextHighest = 1 << 20;
      for (int y = 0; y < canvas.Down(); ++y) {
        if (canvas.At(x, y)) lowest = std::max(lowest, y), highest = std::min(highest, y);
        if (canvas.At(x + 1, y))
          nextLowest = std::max(nextLowest, y), nextHighest = std::min(nextHighest, y);
      }
      EXPECT_TRUE(nextHighest <= lowest + 1 && nextLowest >= highest - 1)
          << c.name << " gap after column " << x;
    }
  }
}

TEST(MathPlot, BrailleCharactersCarryTheCanvasDots) {
  const TPicture picture = Picture(Function(Sine), -10, 10, 2 * 70, 4 * 20);
  plot::TTextStyle style;
  style.Columns = 80;
  style.Rows = 20;
  style.Utf8 = true;
  const std::vector<std::string> lines = plot::TextPicture(picture, style, Same);
  // Labels "0.99xxx" of at most 7 characters, a blank and the frame before the cells.
  const std::string top = plot::ShortNumber(picture.Range.High, 5);
  const std::string bottom = plot::ShortNumber(picture.Range.Low, 5);
  const std::size_t labels = std::max(top.size(), bottom.size());
  const int cells = 80 - static_cast<int>(labels) - 2;
  const plot::TCanvas drawn = plot::DrawCurves(picture, cells * 2, 20 * 4, 3);
  const plot::TCanvas decoded = Decoded(lines, 20, cells, labels + 2);
  int dots = 0;
  for (int y = 0; y < drawn.Down(); ++y) {
    for (int x = 0; x < drawn.Across(); ++x) {
      EXPECT_EQ(decoded.At(x, y) != 0, drawn.At(x, y) != 0) << x << "," << y;
      dots += drawn.At(x, y) != 0;
    }
  }
  EXPECT_GT(dots, cells * 2);
  ASSERT_EQ(lines.size(), 20U + 3);
  EXPECT_EQ(lines[0].substr(0, labels + 1), std::string(labels - top.size(), ' ') + top + " ");
  EXPECT_EQ(
      lines[20], std::string(labels + 1, ' ') + "└" + [&] {
        std::string s;
        for (int i = 0; i < cells; ++i) s += "─";
        return s;
      }());
  EXPECT_EQ(lines[21].substr(labels + 2, 3), "-10");
  EXPECT_EQ(lines[21].size(), labels + 2 + static_cast<std::size_t>(cells));
  EXPECT_EQ(lines[22], "── ");
}

TEST(MathPlot, ErrorsLeaveGaps) {
  // No value between -2 and 2.
  const plot::TEvaluate outside = [](long double x, long double& y) {
    if (std::fabs(x) < 2) return false;
    y = std::sqrt(std::fabs(x) - 2);
    return true;
  };
  const TPicture picture = Picture(outside, -10, 10, 100, 40);
  const plot::TCanvas canvas = plot::DrawCurves(picture, 100, 40, 0);
  for (int x = 0; x < 100; ++x) {
    const long double at = -10 + 20.0L * x / 99;
    bool any = false;
    for (int y = 0; y < 40; ++y) any = any || canvas.At(x, y);
    if (std::fabs(at) < 1.9L) {
      EXPECT_FALSE(any) << at;
    }
    if (std::fabs(at) > 2.1L) {
      EXPECT_TRUE(any) << at;
    }
  }
  // The curve reaches the ends of its domain, and no segment crosses the gap.
  long double nearestLeft = -10, nearestRight = 10;
  const std::vector<TPoint>& points = picture.Curves[0].Points;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (points[i].Valid && points[i].X < 0) nearestLeft = std::max(nearestLeft, points[i].X);
    if (points[i].Valid && points[i].X > 0) nearestRight = std::min(nearestRight, points[i].X);
    if (i > 0 && points[i].Joined) {
      EXPECT_TRUE(points[i - 1].Valid);
      EXPECT_FALSE(points[i - 1].X < -1 && points[i].X > 1);
    }
  }
  EXPECT_NEAR(static_cast<double>(nearestLeft), -2, 1e-6);
  EXPECT_NEAR(static_cast<double>(nearestRight), 2, 1e-6);
}

TEST(MathPlot, RangeFromTheBulkAtPoles) {
  const auto points = [](long double (*f)(long double)) {
    return plot::SampleEvenly(Function(f), -10, 10, 320);
  };
  struct TCase {
    const char* name;
    long double (*f)(long double);
    double low, high;  // bounds the range must lie within
    bool cutAbove, cutBelow;
  } cases[] = {
      {"1/x", [](long double x) { return 1 / x; }, -5, 5, true, true},
      {"1/x^2", [](long double x) { return 1 / (x * x); }, 0, 10, true, false},
      {"tan", [](long double x) { return std::tan(x); }, -40, 40, true, true},
      {"x^2", Square, 0, 100, false, false},
      {"exp", [](long double x) { return std::exp(x); }, 0, 22027, false, false},
  };
  for (const TCase& c : cases) {
    const std::vector<TPoint> sampled = points(c.f);
    const TRange range = plot::ChooseRange({&sampled});
    EXPECT_GE(range.Low, c.low) << c.name;
    EXPECT_LE(range.High, c.high) << c.name;
    EXPECT_EQ(range.CutAbove, c.cutAbove) << c.name;
    EXPECT_EQ(range.CutBelow, c.cutBelow) << c.name;
    if (!c.cutAbove) {
      EXPECT_GT(range.High, 0.99 * c.high) << c.name;
    }
  }
  // x^2 is drawn from 0, which no sample hits exactly.
  const std::vector<TPoint> square = points(Square);
  EXPECT_EQ(plot::ChooseRange({&square}).Low, 0);
  // A constant gets a band around it; no value at all the default band.
  const std::vector<TPoint> constant =
      plot::SampleEvenly(Function([](long double) { return 4.0L; }), 0, 1, 10);
  const TRange band = plot::ChooseRange({&constant});
  EXPECT_LT(band.Low, 4);
  EXPECT_GT(band.High, 4);
  const std::vector<TPoint> none;
  EXPECT_EQ(plot::ChooseRange({&none}).Low, -1);
}

TEST(MathPlot, JumpsAndPolesAreNotJoinedSteepCurvesAre) {
  struct TCase {
    const char* name;
    long double (*f)(long double);
    int breaks;  // pieces minus one
  } cases[] = {
      {"floor", [](long double x) { return std::floor(x); }, 20},
      {"tan", [](long double x) { return std::tan(x); }, 6},
      {"cube root", [](long double x) { return std::cbrt(x); }, 0},
      {"steep", [](long double x) { return std::exp(x) - 1; }, 0},
  };
  for (const TCase& c : cases) {
    const TPicture picture = Picture(Function(c.f), -10, 10, 100, 40);
    const std::vector<TPoint>& points = picture.Curves[0].Points;
    int breaks = 0;
    for (std::size_t i = 1; i < points.size(); ++i) breaks += !points[i].Joined;
    EXPECT_EQ(breaks, c.breaks) << c.name;
  }
}

TEST(MathPlot, AsciiFallbackMarksTheCurveWithStars) {
  TPicture picture = Picture(Function(Line), -10, 10, 60, 12);
  picture.Curves[0].Legend = "x/2+1";
  plot::TTextStyle style;
  style.Columns = 64;
  style.Rows = 12;
  const std::vector<std::string> lines = plot::TextPicture(picture, style, Same);
  ASSERT_EQ(lines.size(), 12U + 3);
  for (const std::string& line : lines)
    for (const char c : line) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << line;
  // Labels "6" and "-4", the y axis at x = 0, the x axis at y = 0.
  EXPECT_EQ(lines[0].substr(0, 4), " 6 +");
  EXPECT_EQ(lines[11].substr(0, 4), "-4 +");
  EXPECT_EQ(lines[0].back(), '*');
  EXPECT_EQ(lines[12], "   +" + std::string(60, '-'));
  EXPECT_EQ(lines[13], "    -10" + std::string(55, ' ') + "10");
  EXPECT_EQ(lines[14], "** x/2+1");
  int stars = 0;
  for (int row = 0; row < 12; ++row)
    for (const char c : lines[static_cast<std::size_t>(row)]) stars += c == '*';
  EXPECT_GE(stars, 60);
  // The x axis lies in the row of 0 (row 6.6 of 11 from 6 down to -4), the y axis in the
  // column of x = 0.
  EXPECT_EQ(lines[7].substr(0, 4), " 0 +");
  EXPECT_NE(lines[7].find("------"), std::string::npos);
  EXPECT_EQ(lines[2][4 + 30], '|');
}

TEST(MathPlot, TicksAreRound) {
  struct TCase {
    long double low, high;
    double first, step;
  } cases[] = {
      {-10, 10, -10, 2},      {0, 1, 0, 0.1},     {-0.3, 7.9, 0, 1},
      {1e6, 1e6 + 7, 1e6, 1}, {-25, 64, -20, 10},
  };
  for (const TCase& c : cases) {
    const auto [first, step] = plot::Ticks(c.low, c.high, 8);
    EXPECT_NEAR(static_cast<double>(first), c.first, 1e-9 * std::fabs(c.first) + 1e-12);
    EXPECT_NEAR(static_cast<double>(step), c.step, 1e-12 * c.step);
  }
}

TEST(MathPlot, LabelsTellNeighboursApart) {
  EXPECT_EQ(plot::DistinctNumbers(-10, 10, 6),
            std::make_pair(std::string("-10"), std::string("10")));
  EXPECT_EQ(plot::DistinctNumbers(1, 1.0000000000000000001L, 6).second, "1.0000000000000000001");
  EXPECT_EQ(plot::DistinctNumbers(1e30L, 2e30L, 6).first, "1E+30");
  EXPECT_EQ(plot::DistinctNumbers(-0.0L, 1, 6).first, "0");
  EXPECT_EQ(plot::TickDigits(1e6L, 1, 1e6L + 7, 6), 7);
  EXPECT_EQ(plot::TickDigits(-10, 2, 10, 6), 6);
  EXPECT_EQ(plot::ShortNumber(plot::Tick(-1, 0.1L, 10), 6), "0");
}
