#pragma once
// The files a command will write, checked before it computes anything: a run
// of hours must not end in "cannot write".
#include <string>
#include <vector>

namespace mdv::cli {

struct OutputFile {
  std::string Option;  // how the user named it ("--save")
  std::string Path;    // "-" = stdout, not checked
};

// Empty when every output can be written; otherwise the first fault: the
// same file named for two outputs, a folder in the file's place, or a folder
// where no file can be created (a temporary file is created beside each
// target and removed again).
std::string CheckOutputs(const std::vector<OutputFile>& outputs);

}  // namespace mdv::cli
