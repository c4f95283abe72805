#include "CliRun.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempPath(const char* tag) {
  return testing::TempDir() + "tcalc_" + tag + "_" + std::to_string(getpid());
}

}  // namespace

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args, const std::string& argv0) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(argv0.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Runs the program with argv; a stackBytes above 0 limits the child's stack first; input,
// when given, is its standard input.
CliResult Run(const std::vector<std::string>& args, const std::string& argv0,
              std::size_t stackBytes, const std::string* input = nullptr) {
  const std::string outPath = TempPath("out"), errPath = TempPath("err"), inPath = TempPath("in");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input) {
    std::ofstream(inPath, std::ios::binary) << *input;
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> argv = Argv(args, argv0);
  pid_t pid = 0;
  CliResult result;
  bool started = false;
  if (stackBytes == 0) {
    started = posix_spawn(&pid, TCALC_BINARY, &actions, nullptr, argv.data(), environ) == 0;
  } else {
    pid = fork();
    if (pid == 0) {
      const rlimit limit{stackBytes, stackBytes};
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (setrlimit(RLIMIT_STACK, &limit) == 0 && out >= 0 && err >= 0 && dup2(out, 1) >= 0 &&
          dup2(err, 2) >= 0)
        execve(TCALC_BINARY, argv.data(), environ);
      _exit(127);
    }
    started = pid > 0;
  }
  if (started) {
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = ReadFile(outPath);
  result.err = ReadFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  std::remove(inPath.c_str());
  return result;
}

}  // namespace

CliResult RunTcalcWithInput(const std::vector<std::string>& args, const std::string& input) {
  return Run(args, TCALC_BINARY, 0, &input);
}

CliResult RunTcalcOnTerminal(const std::vector<std::string>& args, const std::string& lang,
                             unsigned short columns, unsigned short rows) {
  int master = -1;
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  const pid_t pid = forkpty(&master, nullptr, nullptr, columns ? &size : nullptr);
  if (pid == 0) {
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    setenv("LANG", lang.c_str(), 1);
    // the path outlives argv, which points into it
    const std::string binary = TCALC_BINARY;
    std::vector<char*> argv = Argv(args, binary);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  CliResult result;
  if (pid < 0) return result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    result.out.append(buffer, static_cast<std::size_t>(n));
  }
  close(master);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // The terminal turns each new line into a carriage return and a new line.
  std::string plain;
  for (std::size_t i = 0; i < result.out.size(); ++i)
    if (!(result.out[i] == '\r' && i + 1 < result.out.size() && result.out[i + 1] == '\n'))
      plain += result.out[i];
  result.out = plain;
  return result;
}

CliResult RunTcalc(const std::vector<std::string>& args, const std::string& argv0) {
  return Run(args, argv0, 0);
}

CliResult RunTcalcWithStack(const std::vector<std::string>& args, std::size_t stackBytes) {
  return Run(args, TCALC_BINARY, stackBytes);
}

void ExpectCases(const std::vector<CliCase>& cases) {
  for (const CliCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += "'" + a + "' ";
    const CliResult r = RunTcalc(c.args);
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_EQ(r.status, c.status) << shown;
    if (c.status == 0) {
      EXPECT_EQ(r.err, "") << shown;
    }
  }
}
