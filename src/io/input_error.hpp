#pragma once
// Error of the file layer: a file that cannot be opened, a value that cannot
// be read, a file that ends early. The program reports it on one stderr line
// and ends with exit status 1.
#include <stdexcept>
#include <string>

namespace tarvex {

class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tarvex
