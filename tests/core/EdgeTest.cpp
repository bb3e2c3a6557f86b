// Trees that real disks hold and that easily break a walk: names that are not UTF-8, very deep trees,
// paths close to the system's limit.

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "support/TestSupport.h"
#include "sync/DeleteAbsent.h"
#include "sync/SyncFolder.h"

namespace tessel {
namespace {

using test::readFile;
using test::writeFile;

class EdgeTest : public ::testing::Test, public test::TreeFixture {
  protected:
    void SetUp() override { watch.WideLog = 1; }
};

TEST_F(EdgeTest, NamesThatAreNotUtf8) {
    const std::string folder = "\xff\xfe-folder";
    const std::string name = "caf\xe9.txt";  // Latin-1, as an old archive may hold it
    test::makeFolders(src + "/" + folder);
    writeFile(src + "/" + folder + "/" + name, "latin");
    SyncFolder(context, src, dst, "*.TXT", faCopy, watch);
    EXPECT_EQ(readFile(dst + "/" + folder + "/" + name), "latin");
    EXPECT_EQ(loggedMessages(),
              (std::vector<std::string>{"Copied file " + src + "/" + folder + "/" + name + " "}));

    std::remove((src + "/" + folder + "/" + name).c_str());
    DeleteAbsentFiles(context, src, dst, "*.*");
    EXPECT_FALSE(test::exists(dst + "/" + folder + "/" + name));
}

TEST_F(EdgeTest, TreeTwoHundredFoldersDeep) {
    std::string relative;
    for (int level = 0; level < 200; ++level) relative += "d/";
    test::makeFolders(src + "/" + relative);
    writeFile(src + "/" + relative + "bottom.txt", "deep");
    EXPECT_EQ(CountFiles(src), 1);
    SyncFolder(context, src, dst, "*.*", faCopy, watch);
    EXPECT_EQ(readFile(dst + "/" + relative + "bottom.txt"), "deep");
    DeleteAbsentFiles(context, src, dst, "*.*");
    EXPECT_EQ(readFile(dst + "/" + relative + "bottom.txt"), "deep");
}

TEST_F(EdgeTest, PathsNearTheLimit) {
    // Folders with long names until the file's full path is just under PATH_MAX.
    std::string relative;
    const std::string longName(200, 'n');
    while ((dst + "/" + relative + longName + "/" + "f.txt").size() < PATH_MAX - 220)
        relative += longName + "/";
    const std::string fileName(std::min<std::size_t>(250, PATH_MAX - 2 - (dst + "/" + relative).size()), 'f');
    test::makeFolders(src + "/" + relative);
    writeFile(src + "/" + relative + fileName, "long");
    ASSERT_LT((dst + "/" + relative + fileName).size(), static_cast<std::size_t>(PATH_MAX));
    const RunResult result = SyncFolder(context, src, dst, "*.*", faCopy, watch);
    EXPECT_EQ(readFile(dst + "/" + relative + fileName), "long");
    EXPECT_EQ(result.failed, 0);
}

TEST_F(EdgeTest, FileOverFourGibibytesDifferingByExactlyThat) {
    // Sparse, so the test costs no disk: 4 GiB of hole, then ten bytes of data.
    constexpr off_t kFourGiB = off_t{1} << 32;
    const std::string big = src + "/image.bin";
    writeFile(big, "");
    ASSERT_EQ(truncate(big.c_str(), kFourGiB), 0);
    {
        std::FILE* file = std::fopen(big.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        std::fseek(file, kFourGiB, SEEK_SET);
        std::fputs("0123456789", file);
        std::fclose(file);
    }
    test::makeFolders(dst);
    writeFile(dst + "/image.bin", "0123456789");  // the same low 32 bits of the size
    test::setModificationTime(big, 1'600'000'000);
    test::setModificationTime(dst + "/image.bin", 1'600'000'000);

    SyncFolder(context, src, dst, "*.*", faCopy, watch);
    struct stat copy {};
    ASSERT_EQ(stat((dst + "/image.bin").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, kFourGiB + 10);
    EXPECT_LT(copy.st_blocks * 512, 1 << 20) << "the hole was written out";
    std::FILE* file = std::fopen((dst + "/image.bin").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char tail[11] = {};
    std::fseek(file, kFourGiB, SEEK_SET);
    EXPECT_EQ(std::fread(tail, 1, 10, file), 10u);
    std::fclose(file);
    EXPECT_STREQ(tail, "0123456789");
}

}  // namespace
}  // namespace tessel
