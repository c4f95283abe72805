// Runs the built program as a user does: arguments in, standard output, standard
// error and exit status out.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct CliResult {
  std::string out;
  std::string err;
  int status = -1;
};

CliResult RunTcalc(const std::vector<std::string>& args, const std::string& argv0 = TCALC_BINARY);

// The same with the stack limited to stackBytes, soft and hard, as `ulimit -s` does.
CliResult RunTcalcWithStack(const std::vector<std::string>& args, std::size_t stackBytes);

// The same with input as standard input.
CliResult RunTcalcWithInput(const std::vector<std::string>& args, const std::string& input);

// The same on a pseudo-terminal with LANG set to lang (LC_ALL and LC_CTYPE unset); standard
// output and error both arrive in out. A terminal of columns x rows where they are not 0.
CliResult RunTcalcOnTerminal(const std::vector<std::string>& args, const std::string& lang,
                             unsigned short columns = 0, unsigned short rows = 0);

struct CliCase {
  std::vector<std::string> args;
  std::string out;
  int status = 0;
};

// Checks every case for its exact output bytes and exit status.
void ExpectCases(const std::vector<CliCase>& cases);
