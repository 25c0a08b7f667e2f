#include "fluid_core/cache_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

class CacheFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::string(VOREL_BINARY_DIR) + "/cache_files_scratch." + std::to_string(::getpid());
    std::system(("rm -rf '" + dir_ + "'").c_str());
    ::mkdir(dir_.c_str(), 0777);
  }
  void TearDown() override {
    ::chmod(dir_.c_str(), 0777);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  void Touch(const std::string& name) {
    std::FILE* f = std::fopen((dir_ + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("x", f);
    std::fclose(f);
  }
  bool Exists(const std::string& name) { return ::access((dir_ + "/" + name).c_str(), F_OK) == 0; }
  std::string dir_;
};

TEST_F(CacheFilesTest, DeletesOnlyMatchingFilesAndCountsThem) {
  Touch("m00001.bin");
  Touch("M00002.BIN");
  Touch("keep.geom");
  Touch("bin");
  ::mkdir((dir_ + "/folder.bin").c_str(), 0777);
  EXPECT_EQ(DeleteCacheFiles(dir_), 2);  // default pattern, case-insensitive
  EXPECT_FALSE(Exists("m00001.bin"));
  EXPECT_FALSE(Exists("M00002.BIN"));
  EXPECT_TRUE(Exists("keep.geom"));
  EXPECT_TRUE(Exists("bin"));
  EXPECT_TRUE(Exists("folder.bin"));  // folders are never deleted
  EXPECT_EQ(DeleteCacheFiles(dir_ + "/", "*.geom"), 1);
  EXPECT_FALSE(Exists("keep.geom"));
}

TEST_F(CacheFilesTest, BackslashSeparatedFolderAndEmptyPatternWork) {
  Touch("a.bin");
  Touch("b.PRT");
  EXPECT_EQ(DeleteCacheFiles(dir_ + "\\", ""), 1);
  EXPECT_EQ(DeleteCacheFiles(dir_, "*.prt"), 1);
  EXPECT_FALSE(Exists("b.PRT"));
}

TEST_F(CacheFilesTest, MissingFolderOrNoMatchGivesZero) {
  EXPECT_EQ(DeleteCacheFiles(dir_ + "/nowhere"), 0);
  EXPECT_EQ(DeleteCacheFiles(""), 0);
  EXPECT_EQ(DeleteCacheFiles(dir_), 0);
}

TEST_F(CacheFilesTest, FailedDeletionIsNotCounted) {
  if (::geteuid() == 0) GTEST_SKIP() << "root deletes from read-only folders";
  Touch("m00001.bin");
  Touch("m00002.bin");
  ::chmod(dir_.c_str(), 0555);  // listing works, unlinking does not
  EXPECT_EQ(DeleteCacheFiles(dir_), 0);
  ::chmod(dir_.c_str(), 0777);
  EXPECT_TRUE(Exists("m00001.bin"));
  EXPECT_EQ(DeleteCacheFiles(dir_), 2);
}

}  // namespace
