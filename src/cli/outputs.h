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

// Empty unless an output is one of the files the command reads (`inputs`,
// named as the user named them: "FILE", "--load"); then both are named. The
// files are compared by device and inode, so a link, "./x" or a hard link is
// the same file; an output yet to be made, or a device or a pipe, is none of
// the inputs. Called before anything is read or written.
std::string CheckOutputsAreNotInputs(const std::vector<OutputFile>& outputs, const std::vector<OutputFile>& inputs);

}  // namespace mdv::cli
