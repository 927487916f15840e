#include "cli/outputs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/cli_text.h"

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
    default: return std::strerror(err);
  }
}

// The file as the system resolves it, so that "a.evt" and "./a.evt" are one.
std::string Resolved(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) return path;
  const std::filesystem::path p = std::filesystem::weakly_canonical(absolute, ec);
  return ec ? absolute.string() : p.string();
}

// Creates and removes a temporary file in the target's folder.
std::string Writable(const OutputFile& out) {
  struct stat st {};
  if (::stat(out.Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return out.Option + ": " + Quoted(out.Path) + " является папкой";
  }
  const std::string folder = FolderOf(out.Path);
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

}  // namespace

std::string CheckOutputs(const std::vector<OutputFile>& outputs) {
  for (size_t i = 0; i < outputs.size(); ++i) {
    if (outputs[i].Path == "-") continue;
    for (size_t j = 0; j < i; ++j) {
      if (outputs[j].Path != "-" && Resolved(outputs[i].Path) == Resolved(outputs[j].Path)) {
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
