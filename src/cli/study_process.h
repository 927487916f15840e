#pragma once
// Child processes of the study commands: the case's run, the cases of a
// local study run, GNU parallel, sbatch.
#include <sys/types.h>

#include <string>
#include <vector>

namespace mdv::cli {

// The absolute path of this program, so that children and job scripts call
// the same build.
std::string SelfExe();

// Starts argv[0] (searched in PATH) with stdout and stderr sent to the given
// files ("" keeps this process's), in folder `dir` ("" keeps this one's). The
// child is killed when this process dies, so that nothing outlives a killed
// case. Returns the pid, or -1 with a message saying why it did not start
// (no such program, not executable, …) — the child's exec failure included.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& outFile,
            const std::string& errFile, std::string& error, const std::string& dir = "");

// How a child ended.
struct ChildEnd {
  bool Exited = false;  // else killed by a signal
  int Status = 0;       // exit status, or the signal
};
ChildEnd WaitChild(pid_t pid);

// Runs a command (in folder `dir`, "" for this one) to its end and returns its
// stdout; false when it could not start (then *started is false and `error`
// says why) or did not exit with 0 (then `error` has its stderr).
bool RunCapture(const std::vector<std::string>& argv, std::string& out, std::string& error,
                bool* started = nullptr, const std::string& dir = "");

}  // namespace mdv::cli
