#include "cli/outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/cli_text.h"
#include "core/base/safe_file.h"

namespace mdv::cli {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Why(int err) {
  switch (err) {
    case EACCES:
    case EPERM: return "нет прав на запись в папку";
    case ENOENT: return "папка не существует";
    case ENOTDIR: return "часть пути не является папкой";
    case EROFS: return "файловая система доступна только для чтения";
    case ENOSPC: return "нет места на диске";
    case EDQUOT: return "превышена дисковая квота";
    case ENAMETOOLONG: return "слишком длинное имя файла";
    default: return SystemReason(std::error_code(err, std::generic_category()));
  }
}

// The name a path ends at once every link is followed, so that "a.evt",
// "./a.evt" and a link to it are one, even when the file is yet to be made.
std::string Resolved(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  for (int i = 0; i < 40 && fs::is_symlink(p, ec); ++i) {
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  const fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal().string() : c.string();
}

// One file named twice: the same device and inode when it exists, else the same resolved name.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    // A device (/dev/null twice) takes any number of writers.
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode)) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  return Resolved(a) == Resolved(b);
}

// Creates and removes a temporary file in the target's folder.
std::string Writable(const OutputFile& out) {
  struct stat st {};
  if (::stat(out.Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return out.Option + ": " + Quoted(out.Path) + " является папкой";
  }
  // A device or a pipe (/dev/stdout) is written into, not replaced: it need only take writing.
  if (::stat(out.Path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (::access(out.Path.c_str(), W_OK) == 0) return {};
    return out.Option + ": в " + Quoted(out.Path) + " нельзя писать: " + Why(errno);
  }
  // The file a link points to is the one replaced: probe its folder.
  const std::string folder = FolderOf(Resolved(out.Path));
  std::string probe = folder + "/.mdv-check-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) {
    const int err = errno;
    // An existing folder that still says "no such file" (/proc) takes no files at all.
    const bool folderThere = ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const std::string why = err == ENOENT && folderThere ? "эта папка не принимает файлов" : Why(err);
    return out.Option + ": в папке " + Quoted(folder) + " нельзя создать файл: " + why;
  }
  ::close(fd);
  ::unlink(probe.c_str());
  return {};
}

// The same regular file by identity; false when either is missing or no regular file.
bool SameExistingFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return S_ISREG(sa.st_mode) && S_ISREG(sb.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

std::string CheckOutputsAreNotInputs(const std::vector<OutputFile>& outputs, const std::vector<OutputFile>& inputs) {
  for (const OutputFile& in : inputs) {
    for (const OutputFile& out : outputs) {
      if (out.Path.empty() || out.Path == "-" || !SameExistingFile(in.Path, out.Path)) continue;
      return out.Option + " и " + in.Option + " указывают на один файл " + Quoted(out.Path) +
             ": результат заменил бы то, что читается";
    }
  }
  return {};
}

std::string CheckOutputs(const std::vector<OutputFile>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (outputs[i].Path == "-") continue;
    for (size_t j = 0; j < i; ++j) {
      if (outputs[j].Path != "-" && SameFile(outputs[i].Path, outputs[j].Path)) {
        return outputs[j].Option + " и " + outputs[i].Option + " указывают на один файл " +
               Quoted(outputs[i].Path);
      }
    }
  }
  for (const OutputFile& out : outputs) {
    if (out.Path == "-") continue;
    const std::string fault = Writable(out);
    if (!fault.empty()) return fault;
  }
  return {};
}

}  // namespace mdv::cli
