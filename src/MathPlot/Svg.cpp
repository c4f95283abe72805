// The picture as an SVG 1.1 document: frame, grid, axes, tick labels, a polyline per
// continuous piece of each curve, the root, the title and the legend.
#include <cmath>
#include <cstdio>

#include "MathPlot/MathPlot.hpp"

namespace plot {

namespace {

constexpr const char* kFunctionColor = "#1f4e9c";
constexpr const char* kSecondColor = "#c0392b";
constexpr const char* kGridColor = "#dddddd";
constexpr const char* kFont = "font-family=\"sans-serif\"";
constexpr int kTicks = 8;
constexpr int kTickDigits = 6;
constexpr int kLegendY = 485;

// A Latin-1 text in UTF-8 with XML's special characters escaped.
std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (byte >= 0x80) {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else if (byte >= 0x20 || c == '\t') {
      out += c;
    }
  }
  return out;
}

std::string Pixel(long double v) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(v));
  return buffer;
}

class TSvgWriter {
 public:
  explicit TSvgWriter(const TPicture& picture) : Picture(picture) {}

  long double X(long double x) const {
    return kSvgLeft + DotColumn(x, Picture.From, Picture.To, kSvgRight - kSvgLeft + 1);
  }
  long double Y(long double y) const {
    return kSvgTop + DotRow(y, Picture.Range, kSvgBottom - kSvgTop + 1);
  }

  std::string Line(long double x0, long double y0, long double x1, long double y1,
                   const std::string& attributes) const {
    return "<line x1=\"" + Pixel(x0) + "\" y1=\"" + Pixel(y0) + "\" x2=\"" + Pixel(x1) +
           "\" y2=\"" + Pixel(y1) + "\" " + attributes + "/>\n";
  }

  std::string Text(long double x, long double y, const char* anchor, const std::string& text,
                   const std::string& attributes = "") const {
    return "<text x=\"" + Pixel(x) + "\" y=\"" + Pixel(y) + "\" text-anchor=\"" + anchor + "\"" +
           attributes + ">" + Escaped(text) + "</text>\n";
  }

  std::string Grid() const {
    std::string out = "<g stroke=\"" + std::string(kGridColor) + "\" stroke-width=\"1\">\n";
    std::string labels = "<g " + std::string(kFont) + " font-size=\"12\">\n";
    const auto [firstX, stepX] = Ticks(Picture.From, Picture.To, kTicks);
    const int digitsX = TickDigits(firstX, stepX, Picture.To, kTickDigits);
    for (int i = 0; i <= 2 * kTicks + 2; ++i) {
      const long double x = Tick(firstX, stepX, i);
      if (x > Picture.To) break;
      out += Line(X(x), kSvgTop, X(x), kSvgBottom, "");
      labels += Text(X(x), kSvgBottom + 16, "middle", ShortNumber(x, digitsX));
    }
    const auto [firstY, stepY] = Ticks(Picture.Range.Low, Picture.Range.High, kTicks);
    const int digitsY = TickDigits(firstY, stepY, Picture.Range.High, kTickDigits);
    for (int i = 0; i <= 2 * kTicks + 2; ++i) {
      const long double y = Tick(firstY, stepY, i);
      if (y > Picture.Range.High) break;
      out += Line(kSvgLeft, Y(y), kSvgRight, Y(y), "");
      labels += Text(kSvgLeft - 6, Y(y) + 4, "end", ShortNumber(y, digitsY));
    }
    return out + "</g>\n" + labels + "</g>\n";
  }

  std::string Axes() const {
    std::string out;
    const std::string axis = "stroke=\"#000000\" stroke-width=\"1\"";
    if (Picture.Range.Low < 0 && Picture.Range.High > 0)
      out += Line(kSvgLeft, Y(0), kSvgRight, Y(0), axis);
    if (Picture.From < 0 && Picture.To > 0) out += Line(X(0), kSvgTop, X(0), kSvgBottom, axis);
    // The frame; an edge where values were cut off is dashed.
    const std::string cut =
        "stroke=\"" + std::string(kSecondColor) + "\" stroke-width=\"2\" stroke-dasharray=\"4 3\"";
    out += Line(kSvgLeft, kSvgTop, kSvgRight, kSvgTop, Picture.Range.CutAbove ? cut : axis);
    out += Line(kSvgLeft, kSvgBottom, kSvgRight, kSvgBottom, Picture.Range.CutBelow ? cut : axis);
    out += Line(kSvgLeft, kSvgTop, kSvgLeft, kSvgBottom, axis);
    out += Line(kSvgRight, kSvgTop, kSvgRight, kSvgBottom, axis);
    return out;
  }

  // A polyline per continuous piece within the range; points on their own as dots.
  std::string Curve(const std::vector<TPoint>& points, const std::string& style,
                    const char* color) const {
    std::string out;
    std::string piece;
    std::size_t count = 0;
    bool open = false;  // the piece ends at the last point, not at an edge
    const auto flush = [&] {
      if (count >= 2) out += "<polyline " + style + " points=\"" + piece + "\"/>\n";
      piece.clear();
      count = 0;
    };
    const auto add = [&](const TPoint& p) {
      if (count) piece += ' ';
      piece += Pixel(X(p.X)) + "," + Pixel(Y(p.Y));
      ++count;
    };
    const TRange& range = Picture.Range;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const TPoint& p = points[i];
      const bool joinedAfter = p.Valid && i + 1 < points.size() && points[i + 1].Joined;
      const bool inside = p.Y >= range.Low && p.Y <= range.High;
      if (p.Valid && !p.Joined && !joinedAfter && inside)
        out += "<circle cx=\"" + Pixel(X(p.X)) + "\" cy=\"" + Pixel(Y(p.Y)) +
               "\" r=\"1.5\" fill=\"" + color + "\"/>\n";
      if (!joinedAfter) {
        flush();
        open = false;
        continue;
      }
      const auto clipped = ClipToRange(p, points[i + 1], range);
      if (!clipped) {
        flush();
        open = false;
        continue;
      }
      if (!open || !inside) {
        flush();
        add(clipped->first);
      }
      add(clipped->second);
      const TPoint& next = points[i + 1];
      open = next.Y >= range.Low && next.Y <= range.High;
    }
    flush();
    return out;
  }

  std::string Document() const {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
        std::to_string(kSvgWidth) + "\" height=\"" + std::to_string(kSvgHeight) +
        "\" viewBox=\"0 0 " + std::to_string(kSvgWidth) + " " + std::to_string(kSvgHeight) +
        "\">\n";
    out += "<title>" + Escaped(Picture.Title) + "</title>\n";
    if (!Picture.Description.empty()) {
      out += "<desc>";
      for (const std::string& line : Picture.Description) out += Escaped(line) + "\n";
      out += "</desc>\n";
    }
    out += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(kSvgWidth) + "\" height=\"" +
           std::to_string(kSvgHeight) + "\" fill=\"#ffffff\"/>\n";
    out += Text(kSvgWidth / 2.0L, 26, "middle", Picture.Title,
                " " + std::string(kFont) + " font-size=\"16\"");
    out += Grid() + Axes();
    const char* colors[2] = {kFunctionColor, kSecondColor};
    const std::string dashes[2] = {"", " stroke-dasharray=\"6 4\""};
    std::string legend;
    long double legendX = kSvgLeft;
    for (std::size_t k = 0; k < Picture.Curves.size() && k < 2; ++k) {
      const std::string style = "fill=\"none\" stroke=\"" + std::string(colors[k]) +
                                "\" stroke-width=\"1.5\"" + dashes[k];
      out += Curve(Picture.Curves[k].Points, style, colors[k]);
      legend += Line(legendX, kLegendY - 4, legendX + 24, kLegendY - 4, style);
      legend += Text(legendX + 30, kLegendY, "start", Picture.Curves[k].Legend,
                     " " + std::string(kFont) + " font-size=\"12\"");
      legendX += (kSvgRight - kSvgLeft) / 2.0L;
    }
    if (Picture.Root && Picture.Range.Low <= 0 && Picture.Range.High >= 0 &&
        *Picture.Root >= Picture.From && *Picture.Root <= Picture.To)
      out += "<circle cx=\"" + Pixel(X(*Picture.Root)) + "\" cy=\"" + Pixel(Y(0)) +
             "\" r=\"4\" fill=\"" + kSecondColor + "\"><title>" + Escaped(Picture.RootLegend) +
             "</title></circle>\n";
    for (const TMarked& mark : Picture.Marks) {
      if (mark.X < Picture.From || mark.X > Picture.To || mark.Y < Picture.Range.Low ||
          mark.Y > Picture.Range.High)
        continue;
      out += Text(X(mark.X), Y(mark.Y) - 6, "middle", std::string(1, mark.Kind),
                  " " + std::string(kFont) + " font-size=\"11\" fill=\"" + kSecondColor + "\"");
      out += "<circle cx=\"" + Pixel(X(mark.X)) + "\" cy=\"" + Pixel(Y(mark.Y)) +
             "\" r=\"3\" fill=\"" + kSecondColor + "\"/>\n";
    }
    std::string notes;
    if (!Picture.RootLegend.empty()) notes += Picture.RootLegend;
    if (!Picture.Marks.empty()) notes += (notes.empty() ? "" : "; ") + MarksLegend(Picture.Marks);
    for (const std::string& note : Picture.Notes) notes += (notes.empty() ? "" : "; ") + note;
    if (!notes.empty())
      legend += Text(kSvgLeft, kLegendY + 12, "start", notes,
                     " " + std::string(kFont) + " font-size=\"11\"");
    return out + legend + "</svg>\n";
  }

 private:
  const TPicture& Picture;
};

}  // namespace

std::pair<long double, long double> Ticks(long double low, long double high, int count) {
  const long double raw = (high / 2 - low / 2) * 2 / count;
  if (!(raw > 0) || !std::isfinite(raw)) return {low, high - low > 0 ? high - low : 1};
  const long double power = std::pow(10.0L, std::floor(std::log10(raw)));
  const long double share = raw / power;
  long double step = 10 * power;
  if (share < 1.5L) {
    step = power;
  } else if (share < 3.5L) {
    step = 2 * power;
  } else if (share < 7.5L) {
    step = 5 * power;
  }
  return {Tick(std::ceil(low / step) * step, step, 0), step};
}

long double Tick(long double first, long double step, int i) {
  const long double tick = first + step * i;
  return std::fabs(tick) < step * 1e-9L ? 0 : tick;
}

std::string SvgPicture(const TPicture& picture) {
  return TSvgWriter(picture).Document();
}

}  // namespace plot
