#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.hpp"

namespace {

// The program on a pseudo-terminal of 80x24, typed at as a person types.
class TTerminal {
 public:
  TTerminal(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 24;
    Pid = forkpty(&Master, nullptr, nullptr, &size);
    if (Pid == 0) {
      setenv("LANG", "C.UTF-8", 1);
      unsetenv("LC_ALL");
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv = {const_cast<char*>(TCALC_BINARY)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(TCALC_BINARY, argv.data());
      _exit(127);
    }
  }
  ~TTerminal() {
    if (Pid > 0 && !Ended) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Master >= 0) close(Master);
  }
  TTerminal(const TTerminal&) = delete;
  TTerminal& operator=(const TTerminal&) = delete;

  // Reads until text appears after what was waited for before; false when it does not
  // within the seconds.
  bool WaitFor(const std::string& text, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
      const auto found = Output.find(text, Seen);
      if (found != std::string::npos) {
        Seen = found + text.size();
        return true;
      }
      if (std::chrono::steady_clock::now() > end || !ReadSome()) return false;
    }
  }

  void Send(const std::string& bytes) {
    WaitUntilEditing();
    const ssize_t written = write(Master, bytes.data(), bytes.size());
    EXPECT_EQ(written, static_cast<ssize_t>(bytes.size()));
  }

  // Waits until the line editor reads the terminal key by key; typed before, a line would
  // also be echoed by the terminal.
  void WaitUntilEditing() {
    for (int i = 0; i < 400; ++i) {
      termios modes{};
      if (tcgetattr(Master, &modes) == 0 && (modes.c_lflag & ICANON) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  // Types a line and waits for the next prompt; the output of the line, without the echo.
  std::string Line(const std::string& line) {
    const std::size_t before = Seen;
    WaitUntilEditing();
    Send(line + "\r");
    EXPECT_TRUE(WaitFor(line + "\r\n")) << line;
    const std::size_t start = Seen;
    EXPECT_TRUE(WaitFor("tcalc> ")) << line << ": " << Output.substr(before);
    return Output.substr(start, Seen - start - 7);
  }

  int Finish(double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(Pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      ReadSome();
    }
    Ended = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Output;

 private:
  bool ReadSome() {
    pollfd p{Master, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) return true;
    char buffer[4096];
    const ssize_t n = read(Master, buffer, sizeof buffer);
    if (n <= 0) return false;
    Output.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  int Master = -1;
  pid_t Pid = -1;
  std::size_t Seen = 0;
  bool Ended = false;
};

// What the command line of the words prints, as the terminal shows it.
std::string AsCommandLine(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  // A UTF-8 terminal shows the German letters in UTF-8, and on it standard error shows the
  // explanations of syntax errors after the lines.
  words.insert(words.begin(), {"--utf8", "--explain"});
  const CliResult r = RunTcalc(words);
  const std::string out = r.out + r.err;
  std::string shown;
  for (const char c : out) shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return shown;
}

std::string TempFolder(const char* tag) {
  std::string path = testing::TempDir() + "tcalc_session_" + tag + "_XXXXXX";
  return mkdtemp(path.data());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(Session, LinesRunAsCommandLinesAndSettingsLast) {
  const std::string state = TempFolder("lines");
  // the help text is longer than the terminal: a pager that shows it at once
  TTerminal t({"-"}, {{"XDG_STATE_HOME", state}, {"PAGER", "cat"}});
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  EXPECT_EQ(t.Line("2+3"), "5\r\n");
  EXPECT_EQ(t.Line("\\va=4"), "");
  EXPECT_EQ(t.Line("5*a^2"), "80\r\n");
  EXPECT_EQ(t.Line("ans*2"), "160\r\n");
  // A line holds what a command line holds, split at blanks, and prints what it prints.
  for (const char* line : {"\\d2 sin(x)^2", "\\m \\i \\vx=0 \\t1 exp(-x^2)", "\\s \\i x*exp(x)",
                           "\\d x^2", "sin(", "\\j"})
    EXPECT_EQ(t.Line(line), AsCommandLine(line)) << line;
  // Defaults of the session, and its settings.
  EXPECT_EQ(t.Line("\\x t"), "");
  EXPECT_EQ(t.Line("3"), "3\r\n");
  EXPECT_EQ(t.Line("\\d1 t^3"), "3*t^2\r\n");
  const std::string settings = t.Line("\\ss");
  EXPECT_NE(settings.find("XVar =t\r\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Var: a=4\r\n"), std::string::npos) << settings;
  // ans is the value printed last.
  EXPECT_NE(settings.find("Var: ans=3\r\n"), std::string::npos) << settings;
  // Errors, even the end of a line by an exception, leave the session going.
  EXPECT_EQ(t.Line("1/0"), "Division durch 0\r\n");
  EXPECT_NE(t.Line("\\m \\i \\t1 \\l0 t").find("An unhandled exception occurred"),
            std::string::npos);
  EXPECT_EQ(t.Line("\\vb=x+"), "Illegaler Parameterwert: x+\r\n");
  EXPECT_EQ(t.Line("ans+1"), "4\r\n");
  EXPECT_NE(t.Line("hilfe").find("Optionen (vor allen anderen Argumenten):"), std::string::npos);
  EXPECT_NE(t.Line("?").find("--plot"), std::string::npos);
  t.Send("quit\r");
  EXPECT_EQ(t.Finish(), 0);
}

TEST(Session, HistoryRecallAndFileTabCompletion) {
  const std::string state = TempFolder("history");
  {
    TTerminal t({"--interactive"}, {{"XDG_STATE_HOME", state}});
    ASSERT_TRUE(t.WaitFor("tcalc> "));
    EXPECT_EQ(t.Line("7*6"), "42\r\n");
    EXPECT_EQ(t.Line("1+1"), "2\r\n");
    // The up arrow twice: the line before the last.
    t.Send("\x1b[A\x1b[A\r");
    ASSERT_TRUE(t.WaitFor("42\r\n"));
    ASSERT_TRUE(t.WaitFor("tcalc> "));
    // Tab completes a function's name as far as the names agree.
    t.Send("arct\t");
    ASSERT_TRUE(t.WaitFor("an"));
    t.Send("(1)\r");
    EXPECT_TRUE(t.WaitFor("0.78539816339744831\r\n"));
    ASSERT_TRUE(t.WaitFor("tcalc> "));
    EXPECT_EQ(t.Line("\\vradius=2"), "");
    t.Send("radi\t*3\r");
    EXPECT_TRUE(t.WaitFor("6\r\n"));
    ASSERT_TRUE(t.WaitFor("tcalc> "));
    EXPECT_EQ(t.Line("2^5"), "32\r\n");
    // Ctrl-D ends the session.
    t.Send("\x04");
    EXPECT_EQ(t.Finish(), 0);
  }
  const std::string history = ReadFile(state + "/tcalc/history");
  EXPECT_NE(history.find("7*6\n"), std::string::npos) << history;
  // The next session recalls the lines of the last.
  TTerminal t({"-"}, {{"XDG_STATE_HOME", state}});
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  t.Send("\x1b[A\r");
  EXPECT_TRUE(t.WaitFor("32\r\n"));
  t.Send("exit\r");
  EXPECT_EQ(t.Finish(), 0);
}

TEST(Session, CtrlCAbandonsTheLineAndStopsALongComputation) {
  TTerminal t({"-"}, {{"XDG_STATE_HOME", TempFolder("interrupt")}});
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  t.Send("\\m \\i \\vx=0 \\t1000 \\l0.000001 sin(x)\r");
  ASSERT_TRUE(t.WaitFor("Berechnung: "));
  t.Send("\x03");
  // The progress line and the echoed ^C are blanked before the text.
  EXPECT_TRUE(t.WaitFor("\r" + std::string(19, ' ') + "\rAbgebrochen.\r\n"));
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  // At the prompt it drops what was typed.
  t.Send("12345\x03");
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  EXPECT_EQ(t.Line("7"), "7\r\n");
  t.Send("\x04");
  EXPECT_EQ(t.Finish(), 0);
}

TEST(Session, WithoutAPlaceForTheHistoryNothingIsWritten) {
  TTerminal t({"-"}, {{"XDG_STATE_HOME", "/proc/tcalc"}, {"HOME", "/proc"}});
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  EXPECT_EQ(t.Line("2^10"), "1024\r\n");
  t.Send("quit\r");
  EXPECT_EQ(t.Finish(), 0);
}

TEST(Session, InteractiveReadsAPipeAsASession) {
  const CliResult r =
      RunTcalcWithInput({"--interactive"}, "\\va=4\n5*a^2\nans+1\n\\x t\n\\d1 t^2\nquit\n7\n");
  EXPECT_EQ(r.out, "80\n81\n2*t\n");
  EXPECT_EQ(r.status, 0);
  // The options before it apply to every line; ans is the value as printed, every digit.
  EXPECT_EQ(RunTcalcWithInput({"--digits", "30", "--interactive"}, "1/3\nans*3\n").out,
            "0.333333333333333333333333333333\n0.999999999999999999999999999999\n");
  EXPECT_EQ(RunTcalcWithInput({"--simplify", "--interactive", "\\i"}, "x+x\n").out, "x^2\n");
  // Without the option a pipe is read as terms, each a run of its own, as before.
  const CliResult batch = RunTcalcWithInput({"-"}, "2+3\n\\va=4\nans\n");
  EXPECT_EQ(batch.out, "5\nSyntaxfehler\n0\n");
}

namespace {

// A help text longer than the screen goes through $PAGER; a pager the shell cannot find
// leaves it to be printed whole.
TEST(Session, LongHelpGoesThroughThePager) {
  const std::string state = TempFolder("pager");
  {
    TTerminal t({"-"}, {{"XDG_STATE_HOME", state}, {"PAGER", "sed -e s/^/Seite:/"}});
    ASSERT_TRUE(t.WaitFor("tcalc> "));
    const std::string help = t.Line("hilfe");
    EXPECT_NE(help.find("Seite:Optionen (vor allen anderen Argumenten):"), std::string::npos)
        << help;
    t.Send("quit\r");
    EXPECT_EQ(t.Finish(), 0);
  }
  TTerminal t({"-"}, {{"XDG_STATE_HOME", state}, {"PAGER", "kein-pager-tcalc"}});
  ASSERT_TRUE(t.WaitFor("tcalc> "));
  const std::string help = t.Line("hilfe");
  EXPECT_NE(help.find("\nOptionen (vor allen anderen Argumenten):"), std::string::npos) << help;
  t.Send("quit\r");
  EXPECT_EQ(t.Finish(), 0);
}

}  // namespace
