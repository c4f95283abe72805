#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app.hpp"
#include "util/util.hpp"

namespace {

struct Step {
  double Seconds;
  double Fraction;
  std::string Text;
};

void ExpectLine(const std::vector<Step>& steps) {
  TProgressLine line;
  for (const Step& s : steps)
    EXPECT_EQ(line.Update(s.Seconds, s.Fraction), s.Text) << s.Seconds << " " << s.Fraction;
}

TEST(ProgressLine, AppearsOnlyForComputationsOfAboutASecond) {
  // Quick: ends before a line could help, and nothing needs clearing.
  ExpectLine({{0, 0, ""}, {0.1, 0.5, ""}, {0.2, 1, ""}});
  // Young but slow: not yet; then expected to take 1.5 s in all.
  ExpectLine({{0, 0, ""},
              {0.1, 0.05, ""},
              {0.3, 0.2, "\rBerechnung: 20 %"},
              {0.31, 0.201, ""},
              {0.6, 0.4, "\rBerechnung: 40 %"},
              {1.2, 1, "\r                \r"}});
  // Old enough, but expected to end within a second.
  ExpectLine({{0, 0, ""}, {0.3, 0.5, ""}, {0.6, 1, ""}});
  // A line once shown stays until the end, even where the rest goes faster.
  ExpectLine({{0, 0, ""},
              {0.3, 0.09, "\rBerechnung: 9 %"},
              {0.4, 0.95, "\rBerechnung: 95 %"},
              {0.41, 1, "\r                \r"},
              {0, 0, ""},
              {0.1, 0.5, ""}});
}

std::vector<double> gReports;
void Record(double fraction) {
  gReports.push_back(fraction);
}

TEST(ProgressLine, OnlyTheOutermostComputationReports) {
  gReports.clear();
  SetProgressHook(Record);
  {
    const TProgress outer;
    outer.Report(0.5);
    {
      const TProgress inner;
      inner.Report(0.25);
    }
  }
  SetProgressHook(nullptr);
  {
    const TProgress unseen;
    unseen.Report(0.5);
  }
  EXPECT_EQ(gReports, (std::vector<double>{0, 0.5, 1}));
}

}  // namespace
