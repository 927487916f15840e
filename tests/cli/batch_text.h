#pragma once
// Small text helpers of the batch tool's tests: a word quoted for /bin/sh, a
// whole file read back, the tool run with what it said.
#include <sys/wait.h>

#include <cstdlib>
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

// The batch tool's exit status and what it wrote to stdout and stderr.
struct BatchResult {
  int Status = -1;
  std::string Out, Err;
};

// Runs `exe args` (args: words already quoted for the shell), its output
// caught in files of `dir`.
inline BatchResult RunBatch(const std::string& exe, const std::string& args, const std::filesystem::path& dir) {
  const std::string cmd = Quote(exe) + " " + args + " >" + Quote((dir / "out").string()) + " 2>" +
                          Quote((dir / "err").string());
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir / "out"), Slurp(dir / "err")};
}

}  // namespace mdv::test
