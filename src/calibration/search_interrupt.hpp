#pragma once
// SIGINT (Ctrl-C) and SIGTERM while a search runs. The first signal only
// sets a flag: the search finishes the evaluations under way and ends with
// the best point so far. A second signal ends the process at once.
namespace tarvex {

class SearchInterrupt {
 public:
  // Installs the handlers; the destructor puts the earlier ones back.
  SearchInterrupt();
  ~SearchInterrupt();
  SearchInterrupt(const SearchInterrupt&) = delete;
  SearchInterrupt& operator=(const SearchInterrupt&) = delete;

  // The signal received (SIGINT or SIGTERM), or 0. Safe from any thread.
  static int received();
};

// "SIGINT", "SIGTERM" or "a signal".
const char* signal_name(int sig);

}  // namespace tarvex
