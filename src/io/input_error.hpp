#pragma once
// Error of the file layer: a file that cannot be opened, a value that cannot
// be read, a file that ends early. The program reports it on one stderr line
// and ends with exit status 1. Bytes outside printable ASCII in the message
// (from a file name or a value) are kept escaped, so it stays one safe line.
#include <stdexcept>
#include <string>

#include "io/quoted.hpp"

namespace tarvex {

class InputError : public std::runtime_error {
 public:
  explicit InputError(const std::string& message) : std::runtime_error(escaped(message)) {}
  explicit InputError(const char* message) : InputError(std::string(message)) {}
};

}  // namespace tarvex
