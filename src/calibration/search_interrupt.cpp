#include "calibration/search_interrupt.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <utility>

namespace tarvex {
namespace {

std::atomic<int> g_received{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal flag must be lock-free");

struct sigaction g_old_int, g_old_term;

extern "C" void on_stop_signal(int sig) {
  int none = 0;
  if (g_received.compare_exchange_strong(none, sig)) {
    // Said at once: the evaluations under way may take a while.
    static const char kSaid[] =
        "tarvex: stopping the search once the evaluations under way (the whole initial population, if it is "
        "not yet complete) have finished; a second signal stops it at once\n";
    [[maybe_unused]] const ssize_t k = ::write(2, kSaid, sizeof kSaid - 1);
    return;
  }
  // Second signal: the default action, now.
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

SearchInterrupt::SearchInterrupt() {
  g_received.store(0);
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  // A signal ignored from the start (a background job, nohup) stays ignored.
  for (auto [sig, old] : {std::pair{SIGINT, &g_old_int}, std::pair{SIGTERM, &g_old_term}}) {
    ::sigaction(sig, nullptr, old);
    if (old->sa_handler != SIG_IGN) ::sigaction(sig, &sa, nullptr);
  }
}

SearchInterrupt::~SearchInterrupt() {
  ::sigaction(SIGINT, &g_old_int, nullptr);
  ::sigaction(SIGTERM, &g_old_term, nullptr);
}

int SearchInterrupt::received() { return g_received.load(); }

const char* signal_name(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
  }
  return "a signal";
}

}  // namespace tarvex
