// The platform file: saving through links, into devices and pipes, with the
// creation mask, and the rule that no other core file calls the system.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "core/base/platform.h"
#include "core/base/safe_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

fs::path FreshDir(const char* name) {
  const fs::path dir = fs::temp_directory_path() / (std::string(name) + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

Bytes Read(const fs::path& p) {
  Bytes b;
  std::string error;
  EXPECT_TRUE(ReadWholeFile(p.string(), b, error)) << error;
  return b;
}

TEST(Platform, SavesThroughLinksDevicesPipesAndTheCreationMask) {
  const fs::path dir = FreshDir("mdv_platform_");
  std::string error;

  // A link: the file it points to is replaced, the link stays a link.
  { std::ofstream(dir / "real.evt") << "old"; }
  fs::create_symlink("real.evt", dir / "link.evt");
  ASSERT_TRUE(WriteFileAtomically((dir / "link.evt").string(), Bytes{1, 2}, error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir / "link.evt")) << "link kept";
  EXPECT_EQ(Read(dir / "real.evt"), (Bytes{1, 2})) << "link target replaced";

  // A dangling link stays a link: its file is made where it points, as the
  // shell's redirection does.
  fs::create_symlink("nowhere.evt", dir / "dangling.evt");
  ASSERT_TRUE(WriteFileAtomically((dir / "dangling.evt").string(), Bytes{3}, error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.evt")) << "dangling link";
  EXPECT_EQ(Read(dir / "nowhere.evt"), Bytes{3}) << "dangling link";

  // A device that cannot be synchronised takes the data.
  EXPECT_TRUE(WriteFileAtomically("/dev/null", Bytes(10, 0), error)) << "/dev/null: " << error;

  // A pipe is written into, not replaced.
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Bytes fromPipe;
  std::thread reader([&] {
    std::string readError;
    ReadWholeFile(fifo.string(), fromPipe, readError);
  });
  EXPECT_TRUE(WriteFileAtomically(fifo.string(), Bytes{7, 8, 9}, error)) << "pipe: " << error;
  reader.join();
  EXPECT_EQ(fromPipe, (Bytes{7, 8, 9})) << "pipe";
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo) << "pipe";

  // A new file gets the permissions the creation mask leaves.
  const mode_t old = ::umask(027);
  const bool saved = WriteFileAtomically((dir / "new.evt").string(), Bytes{4}, error);
  ::umask(old);
  ASSERT_TRUE(saved) << error;
  struct stat st {};
  ASSERT_EQ(::stat((dir / "new.evt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "creation mask";

  fs::remove_all(dir);
}

TEST(Platform, ExclusiveLockIsHeldUntilTheFileCloses) {
  const fs::path dir = FreshDir("mdv_platform_lock_");
  const std::string path = (dir / "case.lock").string();
  platform::File first, second;
  ASSERT_FALSE(first.OpenOrCreate(path));
  ASSERT_FALSE(second.OpenOrCreate(path));
  EXPECT_TRUE(first.TryLockExclusive());
  EXPECT_FALSE(second.TryLockExclusive()) << "held by the first";
  EXPECT_FALSE(first.Close());
  EXPECT_TRUE(second.TryLockExclusive()) << "released by closing";
  EXPECT_FALSE(platform::File().TryLockExclusive()) << "a file that is not open";
  fs::remove_all(dir);
}

// The header named by an #include <…> line, else "".
std::string IncludedHeader(const std::string& line) {
  const size_t hash = line.find_first_not_of(" \t");
  if (hash == std::string::npos || line[hash] != '#') return "";
  const size_t word = line.find_first_not_of(" \t", hash + 1);
  if (word == std::string::npos || line.compare(word, 7, "include") != 0) return "";
  const size_t open = line.find('<', word);
  const size_t close = line.find('>', open);
  if (open == std::string::npos || close == std::string::npos) return "";
  return line.substr(open + 1, close - open - 1);
}

TEST(Platform, OnlyThePlatformFileIncludesSystemHeaders) {
  // A port to another system replaces platform_posix.cpp alone.
  const std::set<std::string> systemHeaders{"unistd.h", "fcntl.h", "locale.h", "dirent.h", "pthread.h",
                                            "signal.h", "dlfcn.h", "termios.h", "poll.h", "spawn.h",
                                            "pwd.h", "windows.h", "io.h", "direct.h"};
  int checked = 0;
  const fs::path core = fs::path(MDV_SOURCE_DIR) / "src" / "core";
  for (const auto& entry : fs::recursive_directory_iterator(core)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name.rfind("platform_", 0) == 0) continue;
    std::ifstream in(entry.path());
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
      ++lineNo;
      const std::string header = IncludedHeader(line);
      const bool system = systemHeaders.count(header) > 0 || header.rfind("sys/", 0) == 0 ||
                          header.rfind("arpa/", 0) == 0 || header.rfind("netinet/", 0) == 0;
      EXPECT_FALSE(system) << fs::relative(entry.path(), core).string() << ":" << lineNo << ": " << line;
    }
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

}  // namespace
}  // namespace mdv
