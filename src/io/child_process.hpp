#pragma once
// Runs another program and waits for it.
#include <string>
#include <vector>

namespace tarvex {

// Runs argv[0] (looked up in PATH when it has no slash) with the arguments,
// without a shell, inheriting the environment and standard error; standard
// input and output go to /dev/null. Returns its exit status, 128 + the signal
// that ended it, or -1 when it could not be started.
int run_child(const std::vector<std::string>& argv);

}  // namespace tarvex
