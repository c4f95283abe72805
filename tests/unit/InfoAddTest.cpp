#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "InfoAdd/InfoAdd.hpp"

namespace {

// The help rows numbered as printed: row 18 (the function names) and row 19 are written
// by the driver, so they are empty here.
std::vector<std::string> HelpRows(const std::string& progName) {
  std::vector<std::string> rows{""};
  for (auto& r : HelpRowsBeforeNames(progName)) rows.push_back(r);
  rows.push_back("");
  rows.push_back("");
  for (auto& r : HelpRowsAfterNames()) rows.push_back(r);
  return rows;
}

TEST(HelpText, RowCountAndProgramName) {
  EXPECT_EQ(HelpRowsBeforeNames("p").size(), 17u);
  EXPECT_EQ(HelpRowsAfterNames().size(), 26u);
  const auto rows = HelpRows("prog");
  EXPECT_EQ(rows[1], "Tarvo's Calculator 3.4.0.0 Linux (KRX) Kommandozeilenversion");
  EXPECT_EQ(rows[3], "");
  EXPECT_EQ(rows[4], "prog [\\vVariablenname1=Wert...] Ausdruck");
  EXPECT_EQ(rows[11], "Z.B. ergibt prog \\va=4 5*a^2 gleich 80");
  EXPECT_EQ(rows[17], "Vordefinierte Funktionen sind:");
  EXPECT_EQ(rows[20], "\334bersicht \374ber alle m\366glichen Eingabeschalter:");
  EXPECT_EQ(rows[45],
            "\\j  Weitere Informationen, die \374ber den Rahmen des Programms hinausgehen.");
}

TEST(HelpText, ExactRows) {
  const auto rows = HelpRows("prog");
  const struct {
    std::size_t row;
    const char* text;
  } cases[] = {
      {6, "und am Besten in einfache Anf\374hrungsstriche einzuschlie\337en."},
      {7, "Als Komma ist der Punkt anzugeben, z.B. 2.5."},
      {13, "Erlaubte Operatoren sind +,-,*,/,^,!,(,) . "},
      {15, " korrekt gerechnet.!"},
      {23, "\\s  erweitere Ausgabe (mit Funktionsstring) "},
      {26, "\\xVarName  Standardvariable (\"x\" vordefiniert)"},
      {36, "  bis zum Wert, der mit \\tWert angegeben wird, z.B. \\t10.0."},
      {38, "  mu\337 mit \\lWert (z.B. \\l0.1) bestimmt werden (Standard 0.01)."},
      {42, "  Die L\344ngenberechnung erfolgt mit einem numerischen Verfahren "},
      {43, "  (siehe https://tcalc.example.org/bogenlaenge.html) und der Teilintervall"},
  };
  for (const auto& c : cases) EXPECT_EQ(rows[c.row], c.text) << "row " << c.row;
  EXPECT_EQ(rows[40], rows[35]);
  EXPECT_EQ(rows[41], rows[36]);
  EXPECT_EQ(rows[44], rows[38]);
}

TEST(InfoText, ElevenParagraphsThatFitTheConsole) {
  const auto& info = InfoAdds();
  ASSERT_EQ(info.size(), 11u);
  // An empty line follows the first line of the first paragraph.
  EXPECT_NE(info[0].find("\r\r"), std::string::npos);
  EXPECT_EQ(info[0].find('\r'), info[0].find("\r\r"));
  for (const auto& paragraph : info) {
    std::istringstream lines(paragraph);
    for (std::string line; std::getline(lines, line, '\r');) EXPECT_LE(line.size(), 78u) << line;
  }
}

}  // namespace
