#pragma once
// Progress of the terrain pass on stderr: the phase, the share done and the
// time left, once the pass has run a couple of seconds. On a terminal one
// line is rewritten in place; elsewhere a line is added now and then.
#include <chrono>
#include <cstdio>
#include <string>

#include "terrain/pit_options.hpp"

namespace tarvex {

class TerrainProgress {
 public:
  using Clock = std::chrono::steady_clock;
  // Nothing is shown unless enabled. out and quiet_start (the time before
  // the first line) are for tests.
  explicit TerrainProgress(bool enabled, std::FILE* out = stderr,
                           Clock::duration quiet_start = std::chrono::seconds(2));
  ~TerrainProgress();
  TerrainProgress(const TerrainProgress&) = delete;
  TerrainProgress& operator=(const TerrainProgress&) = delete;

  // Starts a phase (the previous one ends).
  void phase(std::string name);
  // Share of the current phase done, 0..1.
  void share(double done);
  // Work of unknown extent done so far in the current phase: count things
  // named unit (no share, no time left).
  void count(int64_t done, const char* unit);
  // The share callback of the current phase.
  ShareDone meter() {
    return [this](double d) { share(d); };
  }
  // Ends the current phase (its line completed if one was shown).
  void end();

 private:
  void show(double done, bool last);
  bool due() const;
  bool enabled_;
  std::FILE* out_;
  bool terminal_;
  Clock::duration quiet_start_;
  Clock::time_point pass_start_;
  Clock::time_point phase_start_;
  Clock::time_point last_shown_;
  std::string name_;
  bool shown_ = false;  // a line of this phase is on the screen
  double done_ = 0.0;
  std::string counted_;  // "N units" when the phase counts instead of a share
};

}  // namespace tarvex
