#include <cstdio>
#include <string>
#include <vector>

#include "app/app.hpp"

namespace {

struct TRun {
  std::vector<std::string> Args;
  std::string ProgName;
  int Status = 0;
};

}  // namespace

int main(int argc, char** argv) {
  TRun run;
  run.Args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  run.ProgName = ProgramName(argc > 0 ? argv[0] : "tcalc");
  RunOnLargeStack([&run] {
    run.Status = RunReportingFailures([&run] {
      const int status = RunFrontEnd(run.ProgName, run.Args);
      std::fflush(stdout);
      return status;
    });
  });
  return run.Status;
}
