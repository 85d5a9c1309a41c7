#include "base/paths.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

class PrivateTempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("STRBATCH_TMPDIR");
    saved_ = old ? old : "";
  }
  void TearDown() override { setenv("STRBATCH_TMPDIR", saved_.c_str(), 1); }
  bool Use(const std::string& dir, std::string* got, Message* error) {
    setenv("STRBATCH_TMPDIR", dir.c_str(), 1);
    return PrivateTempDir(got, error);
  }
  testing::ScratchDir scratch_;
  std::string saved_;
};

TEST_F(PrivateTempDirTest, CreatedPrivate) {
  std::string dir;
  Message error;
  ASSERT_TRUE(Use(scratch_.File("a/b/strbatch"), &dir, &error)) << error;
  struct stat st;
  ASSERT_EQ(lstat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PrivateTempDirTest, WidePermissionsAreNarrowed) {
  std::string path = scratch_.File("wide");
  ASSERT_EQ(mkdir(path.c_str(), 0777), 0);
  chmod(path.c_str(), 0777);
  std::string dir;
  Message error;
  ASSERT_TRUE(Use(path, &dir, &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(PrivateTempDirTest, SymlinkIsRefused) {
  std::string real = scratch_.File("real");
  ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
  std::string link = scratch_.File("link");
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  std::string dir;
  Message error;
  EXPECT_FALSE(Use(link, &dir, &error));
  EXPECT_EQ(error.id, MessageId::kPrivateFolderIsLink);
}

TEST_F(PrivateTempDirTest, PlainFileIsRefused) {
  std::string dir;
  Message error;
  EXPECT_FALSE(Use(scratch_.Write("file", "x"), &dir, &error));
  EXPECT_EQ(error.id, MessageId::kNotAFolder);
}

TEST_F(PrivateTempDirTest, ForeignOwnerIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  std::string path = scratch_.File("foreign");
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  std::string dir;
  Message error;
  EXPECT_FALSE(Use(path, &dir, &error));
}

TEST(SplitPathTest, Parts) {
  SplitPathResult p = SplitPath("/home/u/a.b.TXT");
  EXPECT_EQ(p.directory, "/home/u/");
  EXPECT_EQ(p.baseName, "a.b");
  EXPECT_EQ(p.extension, ".TXT");
  EXPECT_TRUE(ExtensionIs(p.extension, ".txt"));
  EXPECT_FALSE(ExtensionIs(".docx", ".doc"));
  p = SplitPath("noext");
  EXPECT_EQ(p.directory, "");
  EXPECT_EQ(p.baseName, "noext");
  EXPECT_EQ(p.extension, "");
}

}  // namespace
}  // namespace strbatch
