#pragma once
// Shared pieces of the fuzz targets: one scratch working directory per
// process, splitting an input into files, and the rule that an InputError is
// the expected refusal of a bad input while anything else is a bug.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/model_state.hpp"
#include "io/input_error.hpp"
#include "model/warn_error.hpp"

namespace tarvex::fuzz {

// Byte that separates the files packed into one fuzz input.
inline constexpr char kFileSeparator = '\x1e';

// Creates a scratch directory once per process, makes it the working
// directory and sends standard output to /dev/null. Later calls only empty
// the directory, so that every input starts from the same state.
void enter_scratch_dir();

// Splits the input at every separator byte (an input without one is one part).
std::vector<std::string_view> split(const uint8_t* data, std::size_t size, char sep = kFileSeparator);

// Writes text into the named file of the working directory.
void write_file(const std::string& name, std::string_view text);

// True when text holds no path separator, so that no file name taken from it
// can lead out of the working directory: the targets skip inputs that could
// name paths, so that every file read or written stays in the scratch
// directory (and none is a device such as /dev/zero). Seeds keep their label
// records free of '/' for this reason.
bool names_stay_local(std::string_view text);

// The model state as the program starts with it (all zero). One state is
// reused by copying a pristine one over it: allocating the large series
// tables for every input would dominate the run time under the sanitizers.
ModelState& fresh_state();

// Runs fn; true when it finished, false when it refused the input with an
// InputError. Any other exception escapes and is reported by the fuzzer.
template <class F>
bool refused_or_done(F&& fn) {
  try {
    fn();
    return true;
  } catch (const InputError&) {
    return false;
  } catch (const RunRefused&) {
    return false;
  }
}

// Reports a broken invariant and aborts, so that the fuzzer keeps the input.
[[noreturn]] void bug(const std::string& what);

}  // namespace tarvex::fuzz
