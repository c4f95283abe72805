#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <typeinfo>
#include <vector>

#include "app/app.hpp"
#include "util/util.hpp"

namespace {

// The report of an exception that no function object caught; the run's objects are
// already freed when it is written.
int ReportUnhandled(const char* className, const char* message) {
  std::fflush(stdout);
  const auto address = reinterpret_cast<std::uintptr_t>(&RunDriver);
  std::fprintf(stderr, "An unhandled exception occurred at $%016" PRIXPTR " :\n%s : %s\n", address,
               className, message);
  return 217;
}

struct TRun {
  std::vector<std::string> Args;
  std::string ProgName;
  int Status = 0;
};

int Run(const TRun& run) {
  try {
    const int status = RunFrontEnd(run.ProgName, run.Args);
    std::fflush(stdout);
    return status;
  } catch (const Exception& e) {
    return ReportUnhandled(e.ClassName(), e.what());
  } catch (const std::bad_alloc& e) {
    return ReportUnhandled("EOutOfMemory", "Out of memory");
  } catch (const std::exception& e) {
    return ReportUnhandled("Exception", e.what());
  }
}

}  // namespace

int main(int argc, char** argv) {
  TRun run;
  run.Args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  run.ProgName = ProgramName(argc > 0 ? argv[0] : "tcalc");
  RunOnLargeStack([&run] { run.Status = Run(run); });
  return run.Status;
}
