#include "base/atomic_file.h"

#include <gtest/gtest.h>
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
}

}  // namespace
}  // namespace pelorix
