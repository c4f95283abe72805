// The calculator session: tcalc - on a terminal, or --interactive. Each line runs as a
// command line would, in a process of its own: an interrupt or a failure ends only that
// line. Variables and defaults set by a line of their own last for the session.
#include <histedit.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "InfoAdd/InfoAdd.hpp"
#include "MathTree/MathTree.hpp"
#include "ReadCmdl/ReadCmdl.hpp"
#include "app/app.hpp"
#include "util/util.hpp"

namespace {

constexpr const char* kPrompt = "tcalc> ";
constexpr const char* kTextInterrupted = "Abgebrochen.";
constexpr const char* kTextEndedBySignal = "Beendet durch Signal ";
constexpr const char* kAnswer = "ans";
constexpr int kHistorySize = 1000;
constexpr const char* kLess = "less -R";
// the shell's status for a command it did not find
constexpr int kStatusNotFound = 127;

volatile sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
  gInterrupted = 1;
}

// SIGINT to handler, without restarting the read it interrupts; returns what was set before.
struct sigaction SetInterrupt(void (*handler)(int)) {
  struct sigaction action {};
  struct sigaction before {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &before);
  return before;
}

// The editor's reader of keys. An interrupt is let in only while it waits for the terminal, so
// a Ctrl-C typed while the prompt is written still ends the wait instead of being lost.
int ReadKey(EditLine*, wchar_t* key) {
  sigset_t waiting;
  sigprocmask(SIG_SETMASK, nullptr, &waiting);
  sigdelset(&waiting, SIGINT);
  char bytes[MB_LEN_MAX];
  std::size_t count = 0;
  std::mbstate_t state{};
  for (;;) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ppoll(&input, 1, nullptr, &waiting);
    if (gInterrupted) {
      errno = EINTR;
      return -1;
    }
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -1;
    const ssize_t n = read(STDIN_FILENO, bytes + count, 1);
    if (n == 0) return 0;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return -1;
    ++count;
    const std::size_t used = std::mbrtowc(key, bytes, count, &state);
    if (used == static_cast<std::size_t>(-2) && count < MB_LEN_MAX) continue;
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2)) {
      // A broken sequence is dropped, as the editor's own reader does.
      count = 0;
      state = std::mbstate_t{};
      continue;
    }
    if (used == 0) *key = L'\0';
    return 1;
  }
}

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : line + ' ') {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// Whether word is a switch that sets a variable or a default: \v, \x, \t or \l.
bool SettingSwitch(const std::string& word) {
  if (word.size() < 2 || word[0] != '\\') return false;
  const char letter = Lower(word.substr(1, 1))[0];
  return letter == 'v' || letter == 'x' || letter == 't' || letter == 'l';
}

// Whether the words are settings alone; a switch without its value takes the next word.
bool SettingsAlone(const std::vector<std::string>& words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (!SettingSwitch(words[i])) return false;
    if (words[i].size() == 2) ++i;
  }
  return !words.empty();
}

// Whether the words name ans outside of an assignment to it.
bool UsesAnswer(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    const std::string lower = Lower(word);
    for (std::size_t at = lower.find(kAnswer); at != std::string::npos;
         at = lower.find(kAnswer, at + 1)) {
      const auto letter = [&lower](std::size_t i) {
        return i < lower.size() &&
               (IsAsciiLetter(lower[i]) || IsDigit(lower[i]) || lower[i] == '_');
      };
      if ((at == 0 || !letter(at - 1)) && !letter(at + 3)) return true;
    }
  }
  return false;
}

// The history file: in $XDG_STATE_HOME/tcalc, else ~/.local/state/tcalc, created where it is
// missing; empty where neither can be.
std::string HistoryPath() {
  std::vector<std::string> folders;
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  if (state && *state == '/') folders.push_back(state);
  if (home && *home == '/') folders.push_back(std::string(home) + "/.local/state");
  for (const std::string& folder : folders) {
    std::string path;
    bool made = true;
    for (const std::string& part : {folder, std::string("/tcalc")}) {
      for (std::size_t i = 0; i <= part.size() && made; ++i) {
        if (i < part.size() && part[i] != '/') continue;
        const std::string prefix = path + part.substr(0, i);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) made = false;
      }
      path += part;
    }
    struct stat info {};
    if (made && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return path + "/history";
  }
  return {};
}

class TSession {
 public:
  TSession(const std::string& progName, const std::vector<std::string>& switches)
      : ProgName(progName), Switches(switches) {
    Self = this;
    Editor = el_init(progName.c_str(), stdin, stdout, stderr);
    Past = history_init();
    history(Past, &Event, H_SETSIZE, kHistorySize);
    history(Past, &Event, H_SETUNIQUE, 1);
    HistoryFile = HistoryPath();
    if (!HistoryFile.empty()) history(Past, &Event, H_LOAD, HistoryFile.c_str());
    el_set(Editor, EL_EDITOR, "emacs");
    // The editor's own handlers restore the terminal on a stop or an interrupt, then pass the
    // signal on; they also follow a change of the window's size.
    el_set(Editor, EL_SIGNAL, 1);
    el_set(Editor, EL_PROMPT, &Prompt);
    el_wset(Editor, EL_GETCFN, &ReadKey);
    el_set(Editor, EL_HIST, history, Past);
    // Wide names: the narrow call keeps copies that the editor never frees.
    el_wset(Editor, EL_ADDFN, L"tcalc-complete", L"Namen ergaenzen", &Complete);
    el_set(Editor, EL_BIND, "^I", "tcalc-complete", nullptr);
    el_set(Editor, EL_BIND, "^R", "em-inc-search-prev", nullptr);
    el_source(Editor, nullptr);
  }
  ~TSession() {
    el_end(Editor);
    history_end(Past);
    Self = nullptr;
  }
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  int Run() {
    const struct sigaction before = SetInterrupt(OnInterrupt);
    for (;;) {
      gInterrupted = 0;
      int count = 0;
      sigset_t interrupt;
      sigset_t open;
      sigemptyset(&interrupt);
      sigaddset(&interrupt, SIGINT);
      sigprocmask(SIG_BLOCK, &interrupt, &open);
      const char* read = el_gets(Editor, &count);
      sigprocmask(SIG_SETMASK, &open, nullptr);
      if (gInterrupted) {
        // Ctrl-C abandons the line.
        std::fputc('\n', stdout);
        el_reset(Editor);
        continue;
      }
      if (!read || count <= 0) break;
      const std::string line = read;
      const std::vector<std::string> words = Words(line);
      if (words.empty()) continue;
      Remember(line);
      const std::string command = Lower(words[0]);
      if (words.size() == 1 && (command == "quit" || command == "exit")) break;
      Perform(words);
      std::fflush(stdout);
    }
    // Ctrl-D at the prompt: the shell's prompt on a line of its own.
    if (isatty(STDIN_FILENO) == 1) std::fputc('\n', stdout);
    sigaction(SIGINT, &before, nullptr);
    return 0;
  }

 private:
  static const char* Prompt(EditLine*) { return kPrompt; }

  void Remember(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    history(Past, &Event, H_ENTER, line.c_str());
    if (!HistoryFile.empty()) history(Past, &Event, H_SAVE, HistoryFile.c_str());
  }

  std::vector<std::string> Settings() const {
    std::vector<std::string> all = Switches;
    all.insert(all.end(), Defaults.begin(), Defaults.end());
    return all;
  }

  void Perform(const std::vector<std::string>& words) {
    const std::string command = Lower(words[0]);
    if (words.size() == 1 && (command == "hilfe" || command == "help" || command == "?")) {
      ShowHelp();
      return;
    }
    if (words.size() == 1 && command == "\\ss") {
      std::vector<std::string> all = Settings();
      all.push_back("\\v" + std::string(kAnswer) + "=" + Answer);
      WriteParameters(TKoMathCommandLine(all));
      return;
    }
    if (SettingsAlone(words)) {
      std::vector<std::string> all = Settings();
      all.insert(all.end(), words.begin(), words.end());
      const TKoMathCommandLine cmd(all);
      if (!cmd.Errors.empty()) {
        for (const std::string& message : cmd.Errors) WriteLine(message);
        return;
      }
      Defaults.insert(Defaults.end(), words.begin(), words.end());
      return;
    }
    std::vector<std::string> args;
    if (UsesAnswer(words)) args.push_back("\\v" + std::string(kAnswer) + "=" + Answer);
    const std::vector<std::string> settings = Settings();
    args.insert(args.end(), settings.begin(), settings.end());
    args.insert(args.end(), words.begin(), words.end());
    RunLine(args);
  }

  // The help text, through the pager where it is longer than the screen.
  void ShowHelp() const {
    const std::string text = HelpText();
    if (!Paged(text)) std::fwrite(text.data(), 1, text.size(), stdout);
  }

  std::string HelpText() const {
    std::fflush(stdout);
    std::string text;
    const int saved = dup(STDOUT_FILENO);
    FILE* file = std::tmpfile();
    if (saved < 0 || !file) {
      if (file) std::fclose(file);
      if (saved >= 0) close(saved);
      RunHelp(ProgName);
      return {};
    }
    dup2(fileno(file), STDOUT_FILENO);
    RunHelp(ProgName);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::rewind(file);
    char buffer[4096];
    for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
      text.append(buffer, n);
    std::fclose(file);
    return text;
  }

  // Writes text through $PAGER, else less -R, where it does not fit the terminal; false where
  // it was not written.
  static bool Paged(const std::string& text) {
    winsize size{};
    if (isatty(STDOUT_FILENO) != 1 || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 ||
        size.ws_row == 0)
      return false;
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    // one row stays for the prompt
    if (lines < size.ws_row) return false;
    const std::string pager = Pager();
    if (pager.empty()) return false;
    std::fflush(stdout);
    const struct sigaction interrupt = SetInterrupt(SIG_IGN);
    void (*const pipeBefore)(int) = signal(SIGPIPE, SIG_IGN);
    FILE* pipe = popen(pager.c_str(), "w");
    bool shown = false;
    if (pipe) {
      std::fwrite(text.data(), 1, text.size(), pipe);
      const int status = pclose(pipe);
      // a pager that the shell could not find showed nothing
      shown = !(WIFEXITED(status) && WEXITSTATUS(status) == kStatusNotFound);
    }
    signal(SIGPIPE, pipeBefore);
    sigaction(SIGINT, &interrupt, nullptr);
    return shown;
  }

  // $PAGER, else less -R where less is on the path, else none.
  static std::string Pager() {
    const char* pager = std::getenv("PAGER");
    if (pager && *pager) return pager;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
      const std::size_t end = std::min(folders.find(':', start), folders.size());
      const std::string folder = folders.substr(start, end - start);
      if (!folder.empty() && access((folder + "/less").c_str(), X_OK) == 0) return kLess;
      start = end + 1;
    }
    return {};
  }

  // Runs the command line in a process of its own; an interrupt ends that process only.
  void RunLine(const std::vector<std::string>& args) {
    std::fflush(stdout);
    int answer[2];
    if (pipe(answer) != 0) return;
    SetInterrupt(SIG_IGN);
    const pid_t child = fork();
    if (child == 0) {
      signal(SIGINT, SIG_DFL);
      close(answer[0]);
      std::_Exit(RunChild(args, answer[1]));
    }
    close(answer[1]);
    std::string value;
    char buffer[256];
    for (ssize_t n = 0; child > 0 && (n = read(answer[0], buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      value.append(buffer, static_cast<std::size_t>(n));
    }
    close(answer[0]);
    int status = 0;
    while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    SetInterrupt(OnInterrupt);
    if (child > 0 && WIFSIGNALED(status)) {
      std::fflush(stdout);
      if (WTERMSIG(status) == SIGINT && isatty(STDERR_FILENO) == 1) {
        const std::string cleared = ProgressLineCleared();
        std::fwrite(cleared.data(), 1, cleared.size(), stderr);
        std::fflush(stderr);
        std::fprintf(stdout, "%s\n", kTextInterrupted);
      } else if (WTERMSIG(status) == SIGINT) {
        std::fprintf(stdout, "\n%s\n", kTextInterrupted);
      } else {
        std::fprintf(stdout, "%s%d\n", kTextEndedBySignal, WTERMSIG(status));
      }
      return;
    }
    if (!value.empty()) Answer = value;
  }

  // The child: the command line's run, then the value it printed last, if any, into the pipe.
  int RunChild(const std::vector<std::string>& args, int answer) {
    std::string last;
    CaptureLastLine(&last);
    const std::size_t errors = ErrorLinesWritten();
    RestartRandomSequence();
    const int status = RunReportingFailures([&] { return RunDriver(ProgName, args); });
    std::fflush(stdout);
    CaptureLastLine(nullptr);
    long double value = 0;
    if (status == 0 && ErrorLinesWritten() == errors && ScanNumber(last, value)) {
      const ssize_t written = write(answer, last.data(), last.size());
      static_cast<void>(written);
    }
    close(answer);
    return status;
  }

  // Tab: completes the name before the cursor to the longest beginning that all the names
  // it may start share, and lists them where that adds nothing.
  static unsigned char Complete(EditLine* editor, int) {
    if (!Self) return CC_ERROR;
    const LineInfo* info = el_line(editor);
    const char* start = info->cursor;
    while (start > info->buffer &&
           (IsAsciiLetter(start[-1]) || IsDigit(start[-1]) || start[-1] == '_'))
      --start;
    const std::string typed(start, info->cursor);
    const bool switchWord = start > info->buffer && start[-1] == '\\';
    std::vector<std::string> names;
    for (const std::string& name : Self->Names(switchWord, start == info->buffer))
      if (Lower(name).rfind(Lower(typed), 0) == 0) names.push_back(name);
    if (names.empty()) return CC_ERROR;
    std::string common = names[0];
    for (const std::string& name : names) {
      std::size_t n = 0;
      while (n < common.size() && n < name.size() &&
             Lower(common.substr(n, 1)) == Lower(name.substr(n, 1)))
        ++n;
      common.resize(n);
    }
    if (common.size() > typed.size()) {
      el_insertstr(editor, common.substr(typed.size()).c_str());
      return CC_REFRESH;
    }
    if (names.size() == 1) return CC_NORM;
    std::string list = "\n";
    for (const std::string& name : names) list += name + "  ";
    std::fprintf(stdout, "%s\n", list.c_str());
    return CC_REDISPLAY;
  }

  // What a name may be: switch letters after a backslash, else the functions, the session's
  // variables and ans, and at the start of a line the commands.
  std::vector<std::string> Names(bool switches, bool lineStart) const {
    if (switches) return {"c", "s", "ss", "x", "n", "d", "i", "m", "w", "v", "t", "l", "j"};
    std::vector<std::string> names;
    const TKoRealFunctionList& functions = SharedFunctionList();
    names.reserve(static_cast<std::size_t>(functions.Count()) + 16);
    for (std::int32_t i = 0; i < functions.Count(); ++i) names.push_back(Lower(functions.Name(i)));
    const TKoMathCommandLine cmd(Settings());
    for (std::int32_t i = 0; i < cmd.VarCount(); ++i) names.push_back(cmd.VarName(i));
    names.emplace_back(kAnswer);
    if (lineStart)
      for (const char* command : {"hilfe", "help", "quit", "exit"}) names.emplace_back(command);
    return names;
  }

  static TSession* Self;  // the session whose editor calls Complete
  std::string ProgName;
  std::vector<std::string> Switches;  // of the command line
  std::vector<std::string> Defaults;  // set by lines of their own
  std::string Answer = "0";
  EditLine* Editor = nullptr;
  History* Past = nullptr;
  HistEvent Event{};
  std::string HistoryFile;
};

TSession* TSession::Self = nullptr;

}  // namespace

int RunSession(const std::string& progName, const std::vector<std::string>& switches) {
  TSession session(progName, switches);
  return session.Run();
}
