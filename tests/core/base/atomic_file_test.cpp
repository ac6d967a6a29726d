// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_support.h"

namespace pelorix {
namespace {

using test::readFile;
using test::TempDir;

std::span<const uint8_t> bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

size_t entriesIn(const std::filesystem::path& folder) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
    ++count;
  return count;
}

TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  const std::string target = dir.file("out.txt");
  test::writeFile(target, "old");
  FileError error;
  ASSERT_TRUE(writeFileAtomically(target, bytes("new content"), Durability::Sync, &error));
  EXPECT_EQ(readFile(target), "new content");
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, UncommittedWriteKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir.file("keep.txt");
  test::writeFile(target, "precious");
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("partial", 7));
    // Dropped without commit, as when an encoder fails half way.
  }
  EXPECT_EQ(readFile(target), "precious");
  EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFile, MissingFolderIsReportedWithTheCause) {
  TempDir dir;
  FileError error;
  EXPECT_FALSE(
      writeFileAtomically(dir.file("no/such/folder/x.txt"), bytes("x"), Durability::Flush, &error));
  EXPECT_EQ(error.error, ENOENT);
  EXPECT_NE(error.message.find("No such file"), std::string::npos) << error.message;
}

TEST(AtomicFile, UnwritableFolderFailsAndKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string target = dir.file("keep.txt");
  test::writeFile(target, "precious");
  chmod(dir.path().c_str(), 0555);
  FileError error;
  EXPECT_FALSE(writeFileAtomically(target, bytes("new"), Durability::Flush, &error));
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(readFile(target), "precious");
}

TEST(AtomicFile, NewFilesGetOrdinaryPermissionsAndReplacedFilesKeepTheirs) {
  TempDir dir;
  const std::string fresh = dir.file("fresh.txt");
  ASSERT_TRUE(writeFileAtomically(fresh, bytes("a"), Durability::Flush, nullptr));
  struct stat info {};
  ASSERT_EQ(stat(fresh.c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IRGRP, 0u) << "a temporary file's 0600 must not leak through";

  const std::string kept = dir.file("kept.txt");
  test::writeFile(kept, "a");
  chmod(kept.c_str(), 0640);
  ASSERT_TRUE(writeFileAtomically(kept, bytes("b"), Durability::Flush, nullptr));
  ASSERT_EQ(stat(kept.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(AtomicFile, WritesThroughSymbolicLinks) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("real"));
  const std::string target = dir.file("real/project.pxp");
  test::writeFile(target, "old");
  std::filesystem::create_symlink("real/project.pxp", dir.file("link.pxp"));
  std::filesystem::create_symlink(dir.file("link.pxp"), dir.file("chain.pxp"));
  ASSERT_TRUE(writeFileAtomically(dir.file("chain.pxp"), bytes("new"), Durability::Flush, nullptr));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("chain.pxp")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.pxp")));
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(entriesIn(dir.file("real")), 1u);
}

// A temporary file is stale when nobody holds its lock, whatever its name says: a render in
// another PID namespace (a container) of the same host name, whose process number means nothing
// here, keeps its file while it writes.
TEST(AtomicFile, TemporariesNobodyLocksAreRemoved) {
  TempDir dir;
  AtomicFile live(dir.file("frame.png"));
  ASSERT_TRUE(live.open());  // this process's: it stays
  const std::string ours = std::filesystem::path(live.temporaryPath()).filename().string();
  const std::string host = ours.substr(0, ours.find('-', std::string(".pelorix-tmp-").size()));
  test::writeFile(dir.file(host + "-999999999-abcdef"), "left by a killed render");
  const std::string container = dir.file(host + "-999999998-ghijkl");
  test::writeFile(container, "a live render in a container");
  const int held = ::open(container.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  test::writeFile(dir.file(".pelorix-tmp-otherhost-1-abcdef"), "another machine's, left");
  EXPECT_EQ(removeStaleTemporaries(dir.path().string()), 2);
  EXPECT_TRUE(std::filesystem::exists(live.temporaryPath()));
  EXPECT_TRUE(std::filesystem::exists(container));
  ::close(held);  // the container's render ended without cleaning up
  EXPECT_EQ(removeStaleTemporaries(dir.path().string()), 1);
  EXPECT_TRUE(std::filesystem::exists(live.temporaryPath()));
}

// Devices, FIFOs and folders, named directly or through a link, are never replaced by a file.
TEST(AtomicFile, OnlyRegularFilesOrNewNamesAreWritten) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir.file("fifo"), dir.file("link"));
  std::filesystem::create_directory(dir.file("folder"));
  for (const std::string& path :
       {dir.file("fifo"), dir.file("link"), dir.file("folder"), std::string("/dev/null")}) {
    FileError error;
    EXPECT_FALSE(writeFileAtomically(path, bytes("x"), Durability::Flush, &error)) << path;
    EXPECT_NE(error.message.find("not a"), std::string::npos) << error.message;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(entriesIn(dir.path().string()), 3u);  // no temporary file left
}

TEST(ReadFileBytes, ReadsBinaryAndRefusesFolders) {
  TempDir dir;
  const std::string path = dir.file("bin");
  const std::string content("a\0b\r\n", 5);
  test::writeFile(path, content);
  EXPECT_EQ(readFileBytes(path, nullptr), content);
  FileError error;
  EXPECT_FALSE(readFileBytes(dir.path().string(), &error));
  EXPECT_EQ(error.error, EISDIR);
  EXPECT_FALSE(readFileBytes(dir.file("missing"), &error));
  EXPECT_EQ(error.error, ENOENT);
  EXPECT_FALSE(readFileBytes(path, &error, 4));
  EXPECT_EQ(error.error, EFBIG);
}

// Devices and FIFOs are refused at once: reading /dev/zero would never end, and opening a FIFO
// without a writer would block.
TEST(ReadFileBytes, RefusesDevicesAndFifosWithoutBlocking) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  for (const std::string& path : {std::string("/dev/zero"), dir.file("fifo")}) {
    FileError error;
    EXPECT_FALSE(readFileBytes(path, &error)) << path;
    EXPECT_NE(error.message.find("not a regular file"), std::string::npos) << error.message;
  }
}

}  // namespace
}  // namespace pelorix
