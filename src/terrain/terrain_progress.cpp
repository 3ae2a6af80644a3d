#include "terrain/terrain_progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

namespace tarvex {
namespace {

// Shown at most this often.
constexpr std::chrono::milliseconds kTerminalEvery{250};
constexpr std::chrono::milliseconds kLineEvery{2000};

double seconds(TerrainProgress::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

TerrainProgress::TerrainProgress(bool enabled, std::FILE* out, Clock::duration quiet_start)
    : enabled_(enabled),
      out_(out),
      terminal_(enabled && isatty(fileno(out)) != 0),
      quiet_start_(quiet_start),
      pass_start_(Clock::now()) {
  phase_start_ = pass_start_;
  last_shown_ = pass_start_;
}

TerrainProgress::~TerrainProgress() {
  if (std::uncaught_exceptions() > 0) {
    // A refused pass: its phase is not done; only the terminal line ends.
    if (enabled_ && shown_ && terminal_) std::fputc('\n', out_);
    return;
  }
  end();
}

void TerrainProgress::phase(std::string name) {
  end();
  name_ = std::move(name);
  phase_start_ = Clock::now();
  done_ = 0.0;
  counted_.clear();
}

bool TerrainProgress::due() const {
  if (!enabled_ || name_.empty()) return false;
  const Clock::time_point now = Clock::now();
  if (now - pass_start_ < quiet_start_) return false;
  return !shown_ || now - last_shown_ >= (terminal_ ? kTerminalEvery : kLineEvery);
}

void TerrainProgress::share(double done) {
  done_ = std::clamp(done, 0.0, 1.0);
  if (due()) show(done_, false);
}

void TerrainProgress::count(int64_t done, const char* unit) {
  counted_ = std::to_string(done) + " " + unit;
  if (due()) show(0.0, false);
}

void TerrainProgress::end() {
  if (enabled_ && shown_) show(1.0, true);
  shown_ = false;
  name_.clear();
}

void TerrainProgress::show(double done, bool last) {
  const Clock::time_point now = Clock::now();
  const double spent = seconds(now - phase_start_);
  char tail[96];
  if (last) {
    std::snprintf(tail, sizeof tail, "done in %.1f s", spent);
  } else if (!counted_.empty()) {
    std::snprintf(tail, sizeof tail, "%.0f s so far", spent);
  } else if (done > 0.0 && spent > 0.0) {
    const double left = spent * (1.0 - done) / done;
    std::snprintf(tail, sizeof tail, "about %.0f s left", std::ceil(left));
  } else {
    std::snprintf(tail, sizeof tail, "%.0f s so far", spent);
  }
  const std::string amount =
      counted_.empty() || last ? std::to_string(static_cast<int>(std::floor(done * 100.0))) + "%" : counted_;
  std::string line = "terrain: " + name_ + " " + amount + ", " + tail;
  if (terminal_) {
    std::fprintf(out_, "\r%-72s%s", line.c_str(), last ? "\n" : "");
  } else {
    std::fprintf(out_, "%s\n", line.c_str());
  }
  std::fflush(out_);
  shown_ = !last;
  last_shown_ = now;
}

}  // namespace tarvex
