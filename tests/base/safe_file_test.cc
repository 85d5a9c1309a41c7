#include "base/safe_file.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

int CountEntries(const std::string& dir) {
  int n = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") n++;
    }
    closedir(d);
  }
  return n;
}

TEST(SafeFileTest, ReadKeepsEveryByte) {
  ScratchDir dir;
  std::string bytes("a\0b\r\n\xFF", 6);
  std::string content;
  Message error;
  ASSERT_TRUE(ReadWholeFile(dir.Write("f", bytes), &content, &error));
  EXPECT_EQ(content, bytes);
  EXPECT_FALSE(ReadWholeFile(dir.File("missing"), &content, &error));
  EXPECT_EQ(error.id, MessageId::kCannotOpen);
  EXPECT_EQ(error.osError, ENOENT);
  EXPECT_FALSE(ReadWholeFile(dir.path(), &content, &error));
  EXPECT_EQ(error.id, MessageId::kIsDirectory);
}

TEST(SafeFileTest, RewriteKeepsModeAndLeavesNoTemporaryFile) {
  ScratchDir dir;
  std::string path = dir.Write("f.txt", "old");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  Message error;
  ASSERT_TRUE(RewriteFile(path, "new content", &error)) << error;
  EXPECT_EQ(dir.Read("f.txt"), "new content");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(SafeFileTest, SymlinkIsRewrittenAtItsTarget) {
  ScratchDir dir;
  std::string target = dir.Write("target", "old");
  std::string link = dir.File("link");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  Message error;
  ASSERT_TRUE(RewriteFile(link, "new", &error)) << error;
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(dir.Read("target"), "new");
}

TEST(SafeFileTest, AbandonedSessionLeavesOriginalAndNoTrace) {
  ScratchDir dir;
  std::string path = dir.Write("f", "original");
  Message error;
  {
    auto session = DefaultFileRewriter().Begin(path, &error);
    ASSERT_TRUE(session);
    ASSERT_TRUE(session->Write("partial"));
  }
  EXPECT_EQ(dir.Read("f"), "original");
  EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(SafeFileTest, ReadOnlyFileInAClosedFolderIsLeftAlone) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only files and folders";
  ScratchDir dir;
  std::string path = dir.Write("f", "original");
  ASSERT_EQ(chmod(path.c_str(), 0400), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  Message error;
  EXPECT_FALSE(RewriteFile(path, "new", &error));
  EXPECT_EQ(dir.Read("f"), "original");
  chmod(dir.path().c_str(), 0700);
}

}  // namespace
}  // namespace strbatch
