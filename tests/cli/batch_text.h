#pragma once
// Small text helpers of the batch tool's tests: a word quoted for /bin/sh and
// a whole file read back.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace mdv::test {

// s as one single-quoted shell word, quotes inside it escaped.
inline std::string Quote(const std::string& s) {
  std::string q(1, '\'');
  for (char c : s) {
    if (c == '\'') {
      q.append("'\\''");
    } else {
      q.push_back(c);
    }
  }
  q.push_back('\'');
  return q;
}

// The whole file, bytes as they are; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace mdv::test
