#include "CliRun.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
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

// Runs the program with argv; a stackBytes above 0 limits the child's stack first.
CliResult Run(const std::vector<std::string>& args, const std::string& argv0,
              std::size_t stackBytes) {
  const std::string outPath = TempPath("out"), errPath = TempPath("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(argv0.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
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
  return result;
}

}  // namespace

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
