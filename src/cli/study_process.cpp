#include "cli/study_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "core/base/safe_file.h"

namespace mdv::cli {

namespace {

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const char* outFile,
                            const char* errFile, const char* dir, pid_t parent, int errPipe) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the parent died before the line above
  auto redirect = [](const char* path, int target) {
    if (path == nullptr) return true;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::dup2(fd, target) >= 0;
    ::close(fd);
    return ok;
  };
  int err = 0;
  if (!redirect(outFile, STDOUT_FILENO) || !redirect(errFile, STDERR_FILENO) ||
      (dir != nullptr && ::chdir(dir) != 0)) {
    err = errno;
  } else {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    err = errno;
  }
  [[maybe_unused]] const ssize_t n = ::write(errPipe, &err, sizeof err);
  ::_exit(127);
}

// Why a program did not start, for the user.
std::string StartWhy(int err) {
  switch (err) {
    case ENOENT: return "программа не найдена";
    case EACCES:
    case EPERM: return "нет прав на запуск";
    case ENOEXEC: return "файл не является программой";
    case ENOTDIR: return "часть пути не является папкой";
    case ENOMEM:
    case EAGAIN: return "не хватает памяти или процессов";
    default: return SystemReason(std::error_code(err, std::generic_category()));
  }
}

}  // namespace

std::string SelfExe() {
  std::error_code ec;
  const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("rinfet-mdv-batch") : p.string();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outFile,
            const std::string& errFile, std::string& error, const std::string& dir) {
  // The child reports a failed exec through a close-on-exec pipe.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = "Не удалось запустить " + argv[0] + ": " + StartWhy(errno);
    return -1;
  }
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    error = "Не удалось запустить " + argv[0] + ": " + StartWhy(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return -1;
  }
  if (pid == 0) {
    ::close(fds[0]);
    ExecChild(argv, outFile.empty() ? nullptr : outFile.c_str(),
              errFile.empty() ? nullptr : errFile.c_str(), dir.empty() ? nullptr : dir.c_str(), parent, fds[1]);
  }
  ::close(fds[1]);
  int err = 0;
  ssize_t n;
  do {
    n = ::read(fds[0], &err, sizeof err);
  } while (n < 0 && errno == EINTR);
  ::close(fds[0]);
  if (n == static_cast<ssize_t>(sizeof err)) {
    ::waitpid(pid, nullptr, 0);
    error = "Не удалось запустить " + argv[0] + ": " + StartWhy(err);
    return -1;
  }
  return pid;
}

ChildEnd WaitChild(pid_t pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return {false, 0};
  }
  if (WIFEXITED(raw)) return {true, WEXITSTATUS(raw)};
  return {false, WIFSIGNALED(raw) ? WTERMSIG(raw) : 0};
}

bool RunCapture(const std::vector<std::string>& argv, std::string& out, std::string& error,
                bool* started, const std::string& dir) {
  if (started != nullptr) *started = false;
  char outName[] = "/tmp/mdv-capture-out-XXXXXX";
  char errName[] = "/tmp/mdv-capture-err-XXXXXX";
  const int fo = ::mkstemp(outName);
  const int fe = ::mkstemp(errName);
  if (fo < 0 || fe < 0) {
    error = "Не удалось создать временный файл в /tmp: " + SystemReason(std::error_code(errno, std::generic_category()));
    if (fo >= 0) { ::close(fo); ::unlink(outName); }
    if (fe >= 0) { ::close(fe); ::unlink(errName); }
    return false;
  }
  ::close(fo);
  ::close(fe);
  auto slurp = [](const char* path) {
    std::string s;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return s;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return s;
  };
  bool ok = false;
  const pid_t pid = Spawn(argv, outName, errName, error, dir);
  if (pid > 0) {
    if (started != nullptr) *started = true;
    const ChildEnd end = WaitChild(pid);
    out = slurp(outName);
    ok = end.Exited && end.Status == 0;
    if (!ok) {
      error = slurp(errName);
      if (error.empty())
        error = argv[0] + (end.Exited ? ": код завершения " + std::to_string(end.Status)
                                      : ": завершён сигналом " + std::to_string(end.Status));
    }
  }
  ::unlink(outName);
  ::unlink(errName);
  return ok;
}

}  // namespace mdv::cli
