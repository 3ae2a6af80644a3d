#include "io/output_commit.hpp"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "io/input_error.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

enum class State { open, pending, removal };

struct Entry {
  fs::path key;    // absolute final name
  fs::path final;  // as the run named it
  fs::path temp;   // empty for a removal
  State state;
};

std::mutex g_mutex;
std::vector<Entry> g_entries;  // pending ones in the order they were closed
std::atomic<bool> g_held{false};
std::atomic<unsigned long> g_counter{0};

fs::path key_of(const fs::path& p) {
  std::error_code ec;
  fs::path a = fs::absolute(p, ec);
  return (ec ? p : a).lexically_normal();
}

void remove_quietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

void discard_at_exit() { discard_pending_outputs(); }

// Renames e into place, or removes its final name; false with why on failure.
bool settle(const Entry& e, std::string& why) {
  std::error_code ec;
  if (e.state == State::removal) {
    fs::remove(e.final, ec);
  } else {
    // A file replaced keeps its permissions.
    struct stat st;
    if (::stat(e.final.c_str(), &st) == 0) ::chmod(e.temp.c_str(), st.st_mode & 07777);
    fs::rename(e.temp, e.final, ec);
    if (ec) remove_quietly(e.temp);
  }
  if (ec) why = "file '" + e.final.string() + "' cannot be put in place: " + ec.message();
  return !ec;
}

}  // namespace

void hold_outputs() {
  if (!g_held.exchange(true)) std::atexit(discard_at_exit);
}

fs::path begin_output(const fs::path& path) {
  fs::path final = path;
  std::error_code ec;
  // A link stays a link: the file it leads to is replaced.
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    const fs::path target = fs::canonical(path, ec);
    if (!ec) final = target;
  }
  const fs::file_status st = fs::status(final, ec);
  // A directory fails to open as before; a device or pipe is written as it is.
  if (fs::exists(st) && !fs::is_regular_file(st)) return path;
  // A file the user may not write stays refused, as when written in place.
  if (fs::exists(st) && ::access(final.c_str(), W_OK) != 0) return path;
  std::string base = final.filename().string();
  if (base.size() > 200) base.resize(200);
  remove_stale_temporaries(final.parent_path().empty() ? fs::path(".") : final.parent_path(), base);
  fs::path temp = final.parent_path() / ("." + base + ".tarvex-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(g_counter.fetch_add(1)) + ".tmp");
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.push_back({key_of(final), final, temp, State::open});
  return temp;
}

void end_output(const fs::path& path, const fs::path& temp) {
  if (temp == path) return;
  std::unique_lock<std::mutex> lock(g_mutex);
  Entry done;
  bool found = false;
  for (auto it = g_entries.begin(); it != g_entries.end(); ++it) {
    if (it->temp == temp) {
      done = *it;
      g_entries.erase(it);
      found = true;
      break;
    }
  }
  if (!found) return;
  if (!g_held) {
    lock.unlock();
    std::string why;
    if (!settle(done, why)) throw InputError(why);
    return;
  }
  // The same name written again in this run: the newer text wins.
  for (auto it = g_entries.begin(); it != g_entries.end();) {
    if (it->key == done.key && it->state != State::open) {
      if (it->state == State::pending) remove_quietly(it->temp);
      it = g_entries.erase(it);
    } else {
      ++it;
    }
  }
  done.state = State::pending;
  g_entries.push_back(done);
}

void abandon_output(const fs::path& path, const fs::path& temp) {
  if (temp == path) return;
  remove_quietly(temp);
  std::lock_guard<std::mutex> lock(g_mutex);
  std::erase_if(g_entries, [&](const Entry& e) { return e.temp == temp; });
}

fs::path readable_path(const fs::path& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_entries.empty()) return path;
  const fs::path key = key_of(path);
  for (auto it = g_entries.rbegin(); it != g_entries.rend(); ++it) {
    if (it->key == key && it->state == State::pending) return it->temp;
  }
  return path;
}

void remove_output(const fs::path& path) {
  const fs::path key = key_of(path);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::erase_if(g_entries, [&](const Entry& e) {
      if (e.key != key || e.state == State::open) return false;
      if (e.state == State::pending) remove_quietly(e.temp);
      return true;
    });
    if (g_held) {
      g_entries.push_back({key, path, {}, State::removal});
      return;
    }
  }
  remove_quietly(path);
}

void commit_output(const fs::path& path) {
  const fs::path key = key_of(path);
  std::unique_lock<std::mutex> lock(g_mutex);
  for (auto it = g_entries.begin(); it != g_entries.end(); ++it) {
    if (it->key == key && it->state == State::pending) {
      const Entry e = *it;
      g_entries.erase(it);
      lock.unlock();
      std::string why;
      if (!settle(e, why)) throw InputError(why);
      return;
    }
  }
}

void commit_outputs() {
  std::vector<Entry> todo;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_entries.begin(); it != g_entries.end();) {
      if (it->state != State::open) {
        todo.push_back(*it);
        it = g_entries.erase(it);
      } else {
        ++it;
      }
    }
  }
  // A signal between two renames would leave new files beside old ones:
  // it waits until every file is in place.
  sigset_t stop, before;
  sigemptyset(&stop);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stop, sig);
  pthread_sigmask(SIG_BLOCK, &stop, &before);
  struct Restore {
    sigset_t* mask;
    ~Restore() { pthread_sigmask(SIG_SETMASK, mask, nullptr); }
  } restore{&before};
  std::string why;
  for (std::size_t k = 0; k < todo.size(); ++k) {
    if (settle(todo[k], why)) continue;
    for (std::size_t m = k + 1; m < todo.size(); ++m) {
      if (todo[m].state == State::pending) remove_quietly(todo[m].temp);
    }
    throw InputError(why);
  }
}

void discard_pending_outputs() {
  std::vector<Entry> todo;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    todo.swap(g_entries);
  }
  for (const Entry& e : todo) {
    if (e.state != State::removal) remove_quietly(e.temp);
  }
}

void remove_stale_temporaries(const fs::path& dir, const std::string& base) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return;
  const std::string tag = ".tarvex-";
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return;
    const std::string name = it->path().filename().string();
    // ".<name>.tarvex-<pid>-<n>.tmp"
    if (name.size() < 2 || name[0] != '.' || !name.ends_with(".tmp")) continue;
    const std::size_t at = name.rfind(tag, name.size() - 4);
    if (at == std::string::npos || at < 2) continue;
    if (!base.empty() && name.compare(1, at - 1, base) != 0) continue;
    const std::string ids = name.substr(at + tag.size(), name.size() - 4 - at - tag.size());
    const std::size_t dash = ids.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == ids.size() || dash > 9 ||
        ids.find_first_not_of("0123456789-") != std::string::npos || ids.find('-', dash + 1) != std::string::npos)
      continue;
    const long pid = std::strtol(ids.substr(0, dash).c_str(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    std::error_code sec;
    if (!fs::is_regular_file(it->symlink_status(sec)) || sec) continue;
    fs::remove(it->path(), sec);
  }
}

}  // namespace tarvex
