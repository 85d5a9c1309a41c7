#include "lists/folder_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

class FolderScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "b.TXT", ".hidden.txt", "c.doc", "d.rtf", "noext",
                             "sub/e.txt", "sub/deeper/f.txt", ".git/g.txt"}) {
      Make(name);
    }
  }
  void Make(const std::string& name) {
    std::string path = dir_.File(name);
    for (size_t slash = path.find('/', dir_.path().size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      mkdir(path.substr(0, slash).c_str(), 0700);
    }
    testing::WriteBytes(path, name);
  }
  // The paths relative to the scratch folder, joined by spaces.
  std::string Relative(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) {
      out += (out.empty() ? "" : " ") +
             (path.rfind(dir_.path() + "/", 0) == 0 ? path.substr(dir_.path().size() + 1) : path);
    }
    return out;
  }
  std::string Scan(const std::string& pattern, bool recursive) {
    std::vector<std::string> result;
    ScanFolder(&result, dir_.path(), pattern, recursive, true);
    SortPathsNoCase(&result);
    return Relative(result);
  }

  ScratchDir dir_;
};

TEST_F(FolderScanTest, PatternsIgnoreCaseAndIncludeHiddenFiles) {
  EXPECT_EQ(Scan("*.txt", false), ".hidden.txt a.txt b.TXT");
  EXPECT_EQ(Scan("*.TXT", false), ".hidden.txt a.txt b.TXT");
  EXPECT_EQ(Scan("?.doc", false), "c.doc");
  EXPECT_EQ(Scan("*.txt", true),
            ".git/g.txt .hidden.txt a.txt b.TXT sub/deeper/f.txt sub/e.txt");
  EXPECT_EQ(Scan("*.xls", true), "");
  // "*.*" is every file, names without a dot too.
  EXPECT_EQ(Scan("*.*", false), Scan("*", false));
  EXPECT_NE(Scan("*.*", false).find("noext"), std::string::npos);
}

TEST_F(FolderScanTest, BareNamesAndFoldersEndingInASlash) {
  std::vector<std::string> result;
  ScanFolder(&result, dir_.path() + "/", "?.txt", true, false);
  std::sort(result.begin(), result.end());
  EXPECT_EQ(result, (std::vector<std::string>{"a.txt", "b.TXT", "e.txt", "f.txt", "g.txt"}));
  result.clear();
  ScanFolder(&result, dir_.path() + "/", "a.txt", false, true);
  EXPECT_EQ(result, std::vector<std::string>{dir_.File("a.txt")});  // no doubled slash
}

TEST_F(FolderScanTest, LinksAreFollowedOnceAndSpecialFilesSkipped) {
  ASSERT_EQ(symlink("..", dir_.File("sub/loop").c_str()), 0);
  ASSERT_EQ(symlink(dir_.File("sub").c_str(), dir_.File("again").c_str()), 0);
  ASSERT_EQ(symlink("a.txt", dir_.File("link.txt").c_str()), 0);
  ASSERT_EQ(symlink("missing", dir_.File("broken.txt").c_str()), 0);
  ASSERT_EQ(mkfifo(dir_.File("pipe.txt").c_str(), 0600), 0);
  std::string found = Scan("*.txt", true);
  // sub is walked once, through whichever of its two names comes first.
  std::string viaSub = ".git/g.txt .hidden.txt a.txt b.TXT link.txt sub/deeper/f.txt sub/e.txt";
  std::string viaLink =
      ".git/g.txt .hidden.txt a.txt again/deeper/f.txt again/e.txt b.TXT link.txt";
  EXPECT_TRUE(found == viaSub || found == viaLink) << found;
}

TEST_F(FolderScanTest, UnreadableFoldersAddNothing) {
  std::vector<std::string> result;
  ScanFolder(&result, dir_.File("missing"), "*", true, true);
  ScanFolder(&result, dir_.File("a.txt"), "*", true, true);
  ScanFolder(&result, "", "*", true, true);
  EXPECT_TRUE(result.empty());
}

TEST_F(FolderScanTest, AddFolderCollection) {
  EXPECT_EQ(Relative(CollectFolderFiles(dir_.path(), "*.rtf;*.doc", false)), "c.doc d.rtf");
  EXPECT_EQ(Relative(CollectFolderFiles(dir_.path(), ";,;", false)),
            ".hidden.txt a.txt b.TXT c.doc d.rtf noext");
  // A file two patterns match is added once.
  EXPECT_EQ(Relative(CollectFolderFiles(dir_.path(), "a.*,*.txt", false)),
            ".hidden.txt a.txt b.TXT");
  EXPECT_EQ(SplitFilePatterns(",*.a,,*.b;"), (std::vector<std::string>{"*.a", "*.b"}));
}

// The ordering rule as a plain bubble sort: neighbours are swapped when the
// earlier one is greater after folding A-Z.
std::vector<std::string> ReferenceSort(std::vector<std::string> paths) {
  auto greater = [](const std::string& a, const std::string& b) {
    for (size_t i = 0;; ++i) {
      if (i == b.size()) return i < a.size();
      if (i == a.size()) return false;
      auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
      if (fold(a[i]) != fold(b[i])) return fold(a[i]) > fold(b[i]);
    }
  };
  for (size_t n = paths.size(); n >= 2; --n) {
    for (size_t i = 0; i + 1 < n; ++i) {
      if (greater(paths[i], paths[i + 1])) std::swap(paths[i], paths[i + 1]);
    }
  }
  return paths;
}

TEST(SortPathsNoCaseTest, OrdersLikeTheBubbleSortAndKeepsEqualPathsInPlace) {
  std::vector<std::string> paths = {"/b", "/A", "/a", "/B", "/a_", "/a[", "/ab", "/\xB0\xA1",
                                    "/z", "/Z", "/a"};
  std::vector<std::string> expected = {"/A", "/a", "/a", "/a[", "/a_", "/ab", "/b", "/B",
                                       "/z", "/Z", "/\xB0\xA1"};
  SortPathsNoCase(&paths);
  EXPECT_EQ(paths, expected);

  std::mt19937 random(7);
  const char alphabet[] = "aAbB_[\x80\xFF/.";
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> mixed;
    for (int i = 0; i < 60; ++i) {
      std::string path;
      for (size_t n = random() % 4; n > 0; --n) path += alphabet[random() % (sizeof(alphabet) - 1)];
      mixed.push_back(path);
    }
    std::vector<std::string> sorted = mixed;
    SortPathsNoCase(&sorted);
    EXPECT_EQ(sorted, ReferenceSort(mixed));
  }
}

TEST(SortPathsNoCaseTest, HandlesAHundredThousandPaths) {
  std::vector<std::string> paths;
  for (int i = 100000; i > 0; --i) paths.push_back("/data/File" + std::to_string(i) + ".txt");
  SortPathsNoCase(&paths);
  EXPECT_EQ(paths.front(), "/data/File1.txt");
  EXPECT_EQ(paths[1], "/data/File10.txt");
  EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end()));
}

TEST(CollectChosenFilesTest, TakesAtMostOneThousandAndSaysSo) {
  std::vector<std::string> chosen;
  for (int i = 1200; i > 0; --i) chosen.push_back("/f/" + std::to_string(10000 + i));
  ChosenFiles files = CollectChosenFiles(chosen);
  ASSERT_EQ(files.paths.size(), 1000u);
  EXPECT_TRUE(files.limitReached);
  EXPECT_EQ(files.paths.front(), "/f/10201");  // the dialog's first 1000, then sorted
  EXPECT_EQ(files.paths.back(), "/f/11200");

  chosen.resize(1000);
  EXPECT_TRUE(CollectChosenFiles(chosen).limitReached);
  chosen.resize(999);
  files = CollectChosenFiles(chosen);
  EXPECT_FALSE(files.limitReached);
  EXPECT_EQ(files.paths.size(), 999u);
}

}  // namespace
}  // namespace strbatch
