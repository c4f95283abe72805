// The front end around one run: options with two dashes before all other arguments, the
// encoding of the German letters, explanations of syntax errors, and terms read from
// standard input.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "InfoAdd/InfoAdd.hpp"
#include "MathDigs/MathDigs.hpp"
#include "MathTree/MathTree.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"

namespace {

// The version is the project's, handed over by the build.
constexpr const char* kVersion = " " TCALC_VERSION;
constexpr const char* kTextUnknownOption = "Unbekannte Option: ";
constexpr const char* kTextHelpHint = " (Hilfe: ";
constexpr const char* kTextHelpHintEnd = " --help)";
// The term that reads its terms from standard input, one per line.
constexpr const char* kStandardInput = "-";
constexpr int kStatusUnknownOption = 2;
constexpr const char* kOptionDigits = "--digits";
constexpr const char* kTextBadDigits =
    "Die Stellenzahl von --digits muss eine ganze Zahl von 1 bis 100000 sein: ";
constexpr int kStatusErrorLine = 1;

bool NamesUtf8(const char* value) {
  std::string upper;
  for (const char* p = value; *p; ++p)
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return upper.find("UTF-8") != std::string::npos || upper.find("UTF8") != std::string::npos;
}

// The locale as LC_ALL, else LC_CTYPE, else LANG names it.
bool LocaleIsUtf8() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return NamesUtf8(value);
  }
  return false;
}

// The next line of standard input without its line end; false at its end. Standard C input:
// the stream library's set-up alone would double the memory a run takes.
bool ReadLine(std::string& line) {
  static char* buffer = nullptr;
  static std::size_t capacity = 0;
  const ssize_t length = getline(&buffer, &capacity, stdin);
  if (length < 0) return false;
  line.assign(buffer, static_cast<std::size_t>(length));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return true;
}

// Each non-empty line of standard input as the term of one run with the same switches,
// from fresh state; the term argument is at index term.
int RunLines(const std::string& progName, std::vector<std::string> args, std::size_t term) {
  std::string line;
  int status = 0;
  while (ReadLine(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    args[term] = line;
    RestartRandomSequence();
    status = RunDriver(progName, args);
  }
  return status;
}

// The index of the argument that stands for standard input, or args.size().
std::size_t StandardInputTerm(const std::vector<std::string>& args) {
  const TKoMathCommandLine cmd(args);
  std::string term;
  for (const char c : cmd.FuncStr)
    if (c != ' ') term += c;
  if (term != kStandardInput || cmd.ShowInfo || !cmd.Errors.empty()) return args.size();
  for (std::size_t i = args.size(); i-- > 0;)
    if (args[i] == kStandardInput) return i;
  return args.size();
}

// The count of --digits: a whole number within the limits, written without sign or blanks.
bool ReadDigits(const std::string& text, std::int32_t& digits) {
  if (text.empty() || text.size() > 9) return false;
  std::int32_t n = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return false;
    n = n * 10 + (c - '0');
  }
  if (n < kFewestDigits || n > kMostDigits) return false;
  digits = n;
  return true;
}

}  // namespace

int RunHelp(const std::string& progName) {
  const int status = RunDriver(progName, {});
  for (const std::string& row : OptionRows()) WriteLine(row);
  return status;
}

int RunFrontEnd(const std::string& progName, const std::vector<std::string>& args) {
  std::size_t first = 0;
  bool utf8 = false;
  bool strict = false;
  bool explain = false;
  bool interactive = false;
  for (; first < args.size() && args[first].rfind("--", 0) == 0; ++first) {
    const std::string& option = args[first];
    if (option == "--help") return RunHelp(progName);
    if (option == "--version") {
      WriteLine(progName + kVersion);
      return 0;
    }
    if (option == "--utf8") {
      utf8 = true;
    } else if (option == "--strict") {
      strict = true;
    } else if (option == "--explain") {
      explain = true;
    } else if (option == "--interactive") {
      interactive = true;
    } else if (option == "--simplify") {
      SetReadableResults(true);
    } else if (option == "--analyze") {
      SetAnalyze(true);
    } else if (option == "--accurate") {
      SetAccurateNumerics(true);
    } else if (option == "--plot" || option == "--plot=text") {
      SetPlotForm(TPlotForm::kText);
    } else if (option == "--plot=svg") {
      SetPlotForm(TPlotForm::kSvg);
    } else if (option == kOptionDigits || option.rfind(std::string(kOptionDigits) + "=", 0) == 0) {
      // The count follows in the same argument after "=", or as the next one.
      std::string count;
      if (option.size() > std::string(kOptionDigits).size()) {
        count = option.substr(std::string(kOptionDigits).size() + 1);
      } else if (first + 1 < args.size()) {
        count = args[++first];
      }
      std::int32_t digits = 0;
      if (!ReadDigits(count, digits)) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\"%s\"%s%s%s\n", kTextBadDigits, count.c_str(), kTextHelpHint,
                     progName.c_str(), kTextHelpHintEnd);
        return kStatusUnknownOption;
      }
      SetDigits(digits);
    } else {
      std::fflush(stdout);
      std::fprintf(stderr, "%s%s%s%s%s\n", kTextUnknownOption, option.c_str(), kTextHelpHint,
                   progName.c_str(), kTextHelpHintEnd);
      return kStatusUnknownOption;
    }
  }
  SetUtf8Output(utf8 || (isatty(STDOUT_FILENO) == 1 && LocaleIsUtf8()));
  SetExplain(explain || isatty(STDERR_FILENO) == 1);
  ShowProgressOnTerminal(isatty(STDERR_FILENO) == 1);
  SetNotesOnTerminal(isatty(STDERR_FILENO) == 1);
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(first),
                                      args.end());
  const std::size_t term = StandardInputTerm(rest);
  // Terms from a terminal, or where asked for: a session.
  if (interactive || (term < rest.size() && isatty(STDIN_FILENO) == 1)) {
    std::vector<std::string> switches;
    for (const std::string& arg : rest)
      if (arg != kStandardInput) switches.push_back(arg);
    return RunSession(progName, switches);
  }
  const int status =
      term < rest.size() ? RunLines(progName, rest, term) : RunDriver(progName, rest);
  if (strict && status == 0 && ErrorLinesWritten() > 0) return kStatusErrorLine;
  return status;
}
