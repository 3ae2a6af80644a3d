#include "io/quoted.hpp"

namespace tarvex {

std::string escaped(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u <= 0x7e) {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 0x0f]);
    }
  }
  return out;
}

std::string quoted_name(std::string_view bytes) { return "'" + escaped(bytes) + "'"; }

}  // namespace tarvex
