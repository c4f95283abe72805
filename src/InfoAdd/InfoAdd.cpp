#include "InfoAdd/InfoAdd.hpp"

namespace {

// Rows shared by the integration and the arc-length part of the help text.
constexpr const char* kRowFromStart = "  die der Wert der Standardvariablen angibt,";
constexpr const char* kRowUpTo = "  bis zum Wert, der mit \\tWert angegeben wird, z.B. \\t10.0.";
constexpr const char* kRowStep =
    "  mu\337 mit \\lWert (z.B. \\l0.1) bestimmt werden (Standard 0.01).";

}  // namespace

TInfoAdds::TInfoAdds() {
  push_back(
      "Tarvo's Calculator - weitere Informationen\r\r"
      "Das Programm berechnet reellwertige mathematische Terme, die beim Aufruf\r"
      "auf der Kommandozeile angegeben werden, und schreibt das Ergebnis als\r"
      "Textzeile auf die Standardausgabe. Es liest keine Dateien, erwartet keine\r"
      "Eingaben und speichert nichts zwischen zwei Aufrufen.");
  push_back(
      "Gerechnet wird durchgehend mit Gleitkommazahlen von 80 Bit L\344nge\r"
      "(64 Bit Mantisse). Ergebnisse werden mit bis zu 17 g\374ltigen Stellen und\r"
      "dem Punkt als Dezimaltrennzeichen ausgegeben; sehr gro\337e und sehr kleine\r"
      "Zahlen erscheinen in Exponentenschreibweise, z.B. 1.5E+20 oder 1E-4.");
  push_back(
      "Die Operatoren binden in dieser Reihenfolge, vom schw\344chsten zum\r"
      "st\344rksten: + und - (Summe, Differenz), - als Vorzeichen, * und /,\r"
      "^ (Potenz) und ! (Fakult\344t). Daher ist -2^2 gleich -4. Gleichrangige\r"
      "Operatoren werden von links gelesen, auch die Potenz: 2^3^2 ergibt 64.\r"
      "Klammern legen eine andere Reihenfolge fest.");
  push_back(
      "Funktionen werden mit ihrem Argument in Klammern geschrieben, z.B. sin(x);\r"
      "Gro\337- und Kleinschreibung spielt dabei keine Rolle. ln ist der\r"
      "nat\374rliche, log der dekadische und ld der Logarithmus zur Basis 2.\r"
      "Winkel werden im Bogenma\337 angegeben. Int und Trunc schneiden die\r"
      "Nachkommastellen ab, Frac liefert sie, Rnd(x) ist eine Zufallszahl\r"
      "zwischen 0 und x.");
  push_back(
      "Variablen sind Namen aus Buchstaben und Ziffern, die mit einem Buchstaben\r"
      "beginnen. Pi und e sind mit ihren Werten vorbelegt; jede andere Variable\r"
      "erh\344lt ihren Wert mit \\vName=Wert oder hat den Wert 0. Eine eigene\r"
      "Zuweisung wie \\vPi=3 ersetzt den vordefinierten Wert.");
  push_back(
      "Die Standardvariable ist x, mit \\xName kann eine andere gew\344hlt werden.\r"
      "Nach ihr wird abgeleitet und integriert, und ihr Wert ist der Startwert\r"
      "der numerischen Verfahren.");
  push_back(
      "Mit \\d[n] wird die n. Ableitung, mit \\i eine Stammfunktion des Terms\r"
      "symbolisch gebildet, also wieder als Term ausgegeben. Beide Ergebnisse\r"
      "werden vor der Ausgabe vereinfacht. Nicht zu jedem Term findet das\r"
      "Programm eine Stammfunktion.");
  push_back(
      "Mit \\c wird der Term nicht berechnet, sondern vereinfacht: Konstanten\r"
      "werden zusammengefasst, neutrale Elemente entfernt und gleiche Variablen\r"
      "in Summen vereinigt, so lange, bis sich der Term nicht mehr \344ndert.");
  push_back(
      "Das Newtonverfahren (\\n) sucht eine Nullstelle des Terms. Es beginnt beim\r"
      "Wert der Standardvariablen und verwendet als Ableitung einen\r"
      "Differenzenquotienten mit der Schrittweite 1E-10. Konvergiert es nach\r"
      "1001 Schritten nicht, bricht es mit einer Meldung ab. Die numerische\r"
      "Ableitung (\\m \\d[n]) schachtelt solche Differenzenquotienten; ihr\r"
      "Aufwand verdoppelt sich mit jeder Stufe.");
  push_back(
      "Die numerische Integration (\\m \\i) teilt das Intervall in St\374cke der mit\r"
      "\\l gew\344hlten Breite und legt durch Anfang, Mitte und Ende jedes St\374cks\r"
      "eine Parabel, deren Fl\344che genau berechnet wird (Simpsonverfahren). Die\r"
      "L\344ngenberechnung (\\w) ersetzt den Graphen st\374ckweise durch Kreisb\366gen\r"
      "durch dieselben drei Punkte und summiert deren L\344ngen.");
  push_back(
      "Der Exit-Status ist 0, wenn ein Ergebnis oder eine Fehlermeldung\r"
      "ausgegeben wurde. Bricht ein unerwarteter Fehler das Programm ab, erscheint\r"
      "ein Bericht \374ber eine unbehandelte Ausnahme, und der Exit-Status ist 217.");
}

const TInfoAdds& InfoAdds() {
  static const TInfoAdds infoAdds;
  return infoAdds;
}

std::vector<std::string> HelpRowsBeforeNames(const std::string& progName) {
  return {
      "Tarvo's Calculator 3.4.0.0 Linux (KRX) Kommandozeilenversion",
      "Weitere Informationen unter https://tcalc.example.org, E-Mail: info@tcalc.example.org",
      "",
      progName + " [\\vVariablenname1=Wert...] Ausdruck",
      "Der Ausdruck ist in normaler Notation, wie z.B. 32^4+sin(9) anzugeben",
      "und am Besten in einfache Anf\374hrungsstriche einzuschlie\337en.",
      "Als Komma ist der Punkt anzugeben, z.B. 2.5.",
      "Beliebige Buchstabenfolgen ohne Sonderzeichen au\337er der vordefinierten",
      "Funktionen k\366nnen mit einem Wert vorbelegt werden, indem man \\v, gefolgt",
      "vom Variablennamen und der Wertzugweisung angibt:",
      "Z.B. ergibt " + progName + " \\va=4 5*a^2 gleich 80",
      "Pi und e sind entsprechend vordefiniert.",
      "Erlaubte Operatoren sind +,-,*,/,^,!,(,) . ",
      "Bei der Potenz wird f\374r negative Basen nur f\374r ganzzahlige Potenzen",
      " korrekt gerechnet.!",
      "Bei der Fakult\344t wird bei gebrochenen Werten die Gammafunktion verwendet.",
      "Vordefinierte Funktionen sind:",
  };
}

std::vector<std::string> HelpRowsAfterNames() {
  return {
      "\334bersicht \374ber alle m\366glichen Eingabeschalter:",
      "\\vVarName=VarWert  Wertzuweisung einer Variablen",
      "\\c Der Term wird nicht berechnet sondern vereinfacht.",
      "\\s  erweitere Ausgabe (mit Funktionsstring) ",
      "  (falls jemand meinem Parser mi\337traut ;-))",
      "\\ss  erweitere Ausgabe mit alle gesetzten Parametern",
      "\\xVarName  Standardvariable (\"x\" vordefiniert)",
      "\\n  Berechnung anhand des Newtonverfahrens f\374r die Standardvariable",
      "\\d[n]  Berechnung der n. Ableitung (Standard 1.)",
      "  f\374r den angegebenen Funktionsterm anhand der Standardvariablen",
      "\\i  Berechnung der Stammfunktion f\374r den angegebenen",
      "  Funktionsterm anhand der Standardvariablen",
      "\\m \\d[n]  Numerische Ableitung an der Stelle,",
      "  die der Wert der Standardvariablen angibt",
      "\\m \\i  Numerische Integration von der Stelle,",
      kRowFromStart,
      kRowUpTo,
      "  Die Integration erfolgt mit dem Simpsonverfahren und der Teilintervall",
      kRowStep,
      "\\w  Numerische L\344ngenberechnung von der Stelle,",
      kRowFromStart,
      kRowUpTo,
      "  Die L\344ngenberechnung erfolgt mit einem numerischen Verfahren ",
      "  (siehe https://tcalc.example.org/bogenlaenge.html) und der Teilintervall",
      kRowStep,
      "\\j  Weitere Informationen, die \374ber den Rahmen des Programms hinausgehen.",
  };
}

std::vector<std::string> OptionRows() {
  return {
      "",
      "Optionen (vor allen anderen Argumenten):",
      "--help  diese Hilfe mit den Optionen",
      "--version  Programmname und Version",
      "--utf8  Umlaute in UTF-8 statt in Codepage 437",
      "--strict  Status 1, wenn eine ausgegebene Zeile eine Fehlermeldung ist",
      "--explain  Syntaxfehler und unbekannte Namen auf der Standardfehlerausgabe erkl\344ren",
      "--simplify  Ergebnisse von \\c, \\d und \\i vereinfacht und lesbar",
      "--accurate  \\m \\i und \\w adaptiv auf volle Genauigkeit (\\l: gr\366\337te Breite)",
      "--digits N  Werte, \\n, \\m \\i, \\w und \\m \\d mit N g\374ltigen Stellen (1 bis 100000)",
      "--plot  Graph des Terms von \\vx=Wert bis \\t (sonst -10 bis 10), mit \\d, \\i, \\n",
      "  auch Ableitung, Stammfunktion, Nullstelle; --plot=svg als SVG-Dokument",
      "--analyze  Kurvendiskussion im Intervall von --plot: L\374cken, Nullstellen, Extrema,",
      "  Wendepunkte, Symmetrie, Monotonie; mit --plot auch der Graph mit den Punkten",
      "  Gleichung als Term (x^2=2): alle L\366sungen im Intervall, mit \\n eine nach Newton",
      "--interactive  Sitzung: jede Zeile wie eine Kommandozeile, mit Verlauf, Tab und ans",
      "  (tcalc - am Terminal ebenso; Ende mit quit, exit oder Strg-D)",
  };
}
