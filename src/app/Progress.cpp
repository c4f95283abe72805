// The progress line of long computations on a terminal's standard error.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/app.hpp"
#include "util/util.hpp"

namespace {

// A computation gets its line once it has run this long and is expected to take at least
// kExpectedSeconds in all: shorter ones end before a line could help.
constexpr double kQuietSeconds = 0.25;
constexpr double kExpectedSeconds = 1.0;
constexpr const char* kTextProgress = "Berechnung: ";

using TClock = std::chrono::steady_clock;
TClock::time_point gStart;
TProgressLine gLine;

void ShowOnStandardError(double fraction) {
  const TClock::time_point now = TClock::now();
  if (fraction <= 0) gStart = now;
  const std::string text =
      gLine.Update(std::chrono::duration<double>(now - gStart).count(), fraction);
  if (text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

std::string TProgressLine::Update(double seconds, double fraction) {
  if (fraction <= 0) {
    Shown = 0;
    Percent = -1;
    return {};
  }
  if (fraction >= 1) {
    if (Shown == 0) return {};
    // Blanks over the line, and the cursor back where it was.
    const std::string blank(Shown, ' ');
    Shown = 0;
    return "\r" + blank + "\r";
  }
  if (Shown == 0 && (seconds < kQuietSeconds || seconds < kExpectedSeconds * fraction)) return {};
  const int percent = static_cast<int>(fraction * 100);
  if (percent == Percent) return {};
  Percent = percent;
  const std::string line = kTextProgress + std::to_string(percent) + " %";
  Shown = std::max(Shown, line.size());
  return "\r" + line;
}

std::string ProgressLineCleared() {
  // the longest line, and the ^C a terminal echoes after it
  const std::size_t longest = std::string(kTextProgress).size() + std::string("100 %^C").size();
  return "\r" + std::string(longest, ' ') + "\r";
}

void ShowProgressOnTerminal(bool terminal) {
  SetProgressHook(terminal ? ShowOnStandardError : nullptr);
}
