// Saving whole files safely: the old file survives every failed save, no
// temporary file is left behind, and the message names the file and the reason.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/base/safe_file.h"

namespace fs = std::filesystem;

namespace mdv {
namespace {

class SafeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("mdv_safe_file_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static Bytes Read(const std::string& path) {
    Bytes b;
    std::string error;
    EXPECT_TRUE(ReadWholeFile(path, b, error)) << error;
    return b;
  }
  size_t EntriesInDir() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
};

TEST_F(SafeFile, WritesAndReplacesKeepingPermissions) {
  const std::string p = Path("a.evt");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(p, Bytes{1, 2, 3}, error)) << error;
  EXPECT_EQ(Read(p), (Bytes{1, 2, 3}));
  ::chmod(p.c_str(), 0640);
  ASSERT_TRUE(WriteFileAtomically(p, Bytes{4, 5}, error)) << error;
  EXPECT_EQ(Read(p), (Bytes{4, 5}));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(EntriesInDir(), 1u) << "no temporary file may remain";
}

// Links stay links: the file they lead to is replaced, or made where a
// dangling chain ends; a link to a pipe is written into, in order.
TEST_F(SafeFile, LinksKeepBeingLinks) {
  std::string error;
  fs::create_directories(dir_ / "sub");
  fs::create_symlink("sub/end.json", dir_ / "second");
  fs::create_symlink("second", dir_ / "first");  // first -> second -> sub/end.json (missing)
  ASSERT_TRUE(WriteFileAtomically(Path("first"), Bytes{7, 8}, error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir_ / "first"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "second"));
  EXPECT_EQ(Read(Path("sub/end.json")), (Bytes{7, 8}));
  ASSERT_TRUE(WriteFileAtomically(Path("first"), Bytes{9}, error)) << error;
  EXPECT_EQ(Read(Path("sub/end.json")), (Bytes{9}));
  EXPECT_TRUE(fs::is_symlink(dir_ / "first"));

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  fs::create_symlink("/proc/self/fd/" + std::to_string(fds[1]), dir_ / "pipe");
  ASSERT_TRUE(WriteFileAtomically(Path("pipe"), Bytes{1, 2, 3}, error)) << error;
  ::close(fds[1]);
  uint8_t got[8] = {};
  EXPECT_EQ(::read(fds[0], got, sizeof got), 3);
  EXPECT_EQ(got[2], 3);
  ::close(fds[0]);
  EXPECT_TRUE(fs::is_symlink(dir_ / "pipe"));

  fs::create_symlink("loop", dir_ / "loop");
  EXPECT_FALSE(WriteFileAtomically(Path("loop"), Bytes{1}, error));
  EXPECT_TRUE(fs::is_symlink(dir_ / "loop"));
}

TEST_F(SafeFile, FailuresNameTheFileAndTouchNothing) {
  fs::create_directories(dir_ / "folder");
  { std::ofstream(Path("plain")) << "old"; }
  struct Row {
    const char* name;
    std::string path;
    const char* reason;
  } rows[] = {
      {"a folder at the target", Path("folder"), "папка"},
      {"a path through a regular file", Path("plain") + "/x.evt", "не является папкой"},
      {"a missing folder", Path("missing") + "/x.evt", "не существует"},
      {"no name", "", "имя"},
  };
  for (const Row& r : rows) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(r.path, Bytes{9}, error)) << r.name;
    EXPECT_NE(error.find(r.path), std::string::npos) << r.name << ": " << error;
    EXPECT_NE(error.find(r.reason), std::string::npos) << r.name << ": " << error;
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_EQ(Read(Path("plain")), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(EntriesInDir(), 2u);
}

TEST_F(SafeFile, FullDeviceIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::string error;
  EXPECT_FALSE(WriteFileAtomically("/dev/full", Bytes(100, 7), error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  EXPECT_NE(error.find("нет места на диске"), std::string::npos) << error;
}

TEST_F(SafeFile, WriteErrorMidwayKeepsTheOldFileAndRemovesTheTemporary) {
  // A file-size limit makes write() fail part way, as a full disk would.
  const std::string p = Path("state.evt");
  { std::ofstream(p) << "previous"; }
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool ok = WriteFileAtomically(p, Bytes(100000, 1), error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find(p), std::string::npos) << error;
  EXPECT_EQ(Read(p), (Bytes{'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  EXPECT_EQ(EntriesInDir(), 1u) << "the temporary file must be removed";
}

TEST_F(SafeFile, ReadOnlyFolderIsReported) {
  // Root writes into any folder, so as root the save is tried by a child that
  // has dropped to an unprivileged user first.
  const fs::path ro = dir_ / "ro";
  fs::create_directories(ro);
  { std::ofstream(ro / "x.evt") << "old"; }
  fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                            fs::perms::group_read | fs::perms::group_exec);
  fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                          fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
  fs::permissions(ro / "x.evt", fs::perms::owner_read | fs::perms::others_read | fs::perms::group_read);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    std::string error;
    if (WriteFileAtomically((ro / "x.evt").string(), Bytes{1, 2, 3}, error)) ::_exit(1);
    if (error.find("нет прав доступа") == std::string::npos) ::_exit(2);
    if (error.find((ro / "x.evt").string()) == std::string::npos) ::_exit(4);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save succeeded, 2: no reason in the message, "
                                       "3: could not drop privileges, 4: no file name in the message";
  std::ifstream in(ro / "x.evt");
  std::string content;
  in >> content;
  EXPECT_EQ(content, "old") << "the previous file is untouched";
  EXPECT_EQ(std::distance(fs::directory_iterator(ro), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST_F(SafeFile, ReadingRefusesMissingFoldersAndOversizedFiles) {
  Bytes b{42};
  std::string error;
  EXPECT_FALSE(ReadWholeFile(Path("none"), b, error));
  EXPECT_NE(error.find(Path("none")), std::string::npos) << error;
  EXPECT_FALSE(ReadWholeFile(dir_.string(), b, error));
  EXPECT_NE(error.find("папка"), std::string::npos) << error;
  { std::ofstream(Path("big")) << std::string(101, 'x'); }
  EXPECT_FALSE(ReadWholeFile(Path("big"), b, error, 100));
  EXPECT_NE(error.find("больше 100 байт"), std::string::npos) << error;
  EXPECT_EQ(b, Bytes{42}) << "a failed read leaves the buffer alone";
  ASSERT_TRUE(ReadWholeFile(Path("big"), b, error, 101)) << error;
  EXPECT_EQ(b.size(), 101u);
}

}  // namespace
}  // namespace mdv

namespace mdv {
namespace {

// A file written in pieces: the old file stays whole until Commit, an
// abandoned one leaves nothing; a link keeps being a link and a pipe gets the
// pieces in order only at Commit.
TEST_F(SafeFile, StagedFileAppearsOnlyWhenCommitted) {
  const std::string p = Path("series.csv");
  { std::ofstream(p) << "old"; }
  ::chmod(p.c_str(), 0640);
  std::string error;
  {
    StagedFile f;
    ASSERT_TRUE(f.Begin(p, error)) << error;
    ASSERT_TRUE(f.Write("ab", 2, error)) << error;
    EXPECT_EQ(Read(p), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(EntriesInDir(), 2u);
  }  // abandoned
  EXPECT_EQ(Read(p), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(EntriesInDir(), 1u) << "the temporary file must be removed";

  fs::create_symlink("series.csv", dir_ / "link");
  StagedFile f;
  ASSERT_TRUE(f.Begin(Path("link"), error)) << error;
  for (const char* piece : {"t;", "dVx\n", "", "1;2\n"}) ASSERT_TRUE(f.Write(piece, std::strlen(piece), error));
  ASSERT_TRUE(f.Commit(error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
  const std::string text = "t;dVx\n1;2\n";
  EXPECT_EQ(Read(p), Bytes(text.begin(), text.end()));
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(EntriesInDir(), 2u);
  EXPECT_FALSE(f.Commit(error)) << "committed twice";

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  fs::create_symlink("/proc/self/fd/" + std::to_string(fds[1]), dir_ / "pipe");
  StagedFile toPipe;
  ASSERT_TRUE(toPipe.Begin(Path("pipe"), error)) << error;
  ASSERT_TRUE(toPipe.Write("xy", 2, error));
  ASSERT_TRUE(toPipe.Write("z", 1, error));
  ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
  char got[8] = {};
  EXPECT_EQ(::read(fds[0], got, sizeof got), -1) << "nothing before Commit";
  ASSERT_TRUE(toPipe.Commit(error)) << error;
  ::close(fds[1]);
  EXPECT_EQ(::read(fds[0], got, sizeof got), 3);
  EXPECT_EQ(std::string(got, 3), "xyz");
  ::close(fds[0]);

  EXPECT_FALSE(f.Begin(dir_.string(), error));
  EXPECT_NE(error.find("папка"), std::string::npos) << error;
}

}  // namespace
}  // namespace mdv
