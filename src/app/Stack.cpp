#include <pthread.h>
#include <sys/resource.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <new>

#include "app/app.hpp"
#include "util/util.hpp"

namespace {

// The run recurses once per level of its trees, and a tree is at most as deep as the
// live-node limit allows (10000 levels): it gets this much stack whatever limit the shell
// sets, far more than the deepest tree takes. Only the pages it touches are taken.
constexpr std::size_t kRunStackBytes = std::size_t{96} << 20;

// Whether the program's own stack may grow to kRunStackBytes, raising the soft limit
// where the hard one allows.
bool OwnStackSuffices() {
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) != 0) return false;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kRunStackBytes) return true;
  if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kRunStackBytes) return false;
  limit.rlim_cur = kRunStackBytes;
  return setrlimit(RLIMIT_STACK, &limit) == 0;
}

void* RunOnThread(void* data) {
  (*static_cast<const std::function<void()>*>(data))();
  return nullptr;
}

}  // namespace

void RunOnLargeStack(const std::function<void()>& run) {
  if (OwnStackSuffices()) return run();
  // Otherwise the run takes a thread with a stack of that size, or, where none can be
  // started, the stack there is.
  pthread_attr_t attributes;
  pthread_t thread;
  auto* data = const_cast<std::function<void()>*>(&run);
  const bool started = pthread_attr_init(&attributes) == 0 &&
                       pthread_attr_setstacksize(&attributes, kRunStackBytes) == 0 &&
                       pthread_create(&thread, &attributes, RunOnThread, data) == 0;
  if (started) {
    pthread_join(thread, nullptr);
  } else {
    run();
  }
}

int ReportUnhandled(const char* className, const char* message) {
  std::fflush(stdout);
  const auto address = reinterpret_cast<std::uintptr_t>(&RunDriver);
  std::fprintf(stderr, "An unhandled exception occurred at $%016" PRIXPTR " :\n%s : %s\n", address,
               className, message);
  return kStatusUnhandled;
}

int RunReportingFailures(const std::function<int()>& run) {
  try {
    return run();
  } catch (const Exception& e) {
    return ReportUnhandled(e.ClassName(), e.what());
  } catch (const std::bad_alloc&) {
    return ReportUnhandled("EOutOfMemory", "Out of memory");
  } catch (const std::exception& e) {
    return ReportUnhandled("Exception", e.what());
  }
}
