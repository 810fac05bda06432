#include "common/ReadFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace vantor {
namespace {

TEST(ReadWholeFile, ReadsBytesAndRefusesWhatIsNotAReadableFile) {
    char dir[] = "/tmp/readfile.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/f";
    const std::string content = std::string("a\0b\r\n", 5) + std::string(70000, 'x');  // a NUL; over one buffer
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);

    std::string bytes = "stale";
    EXPECT_TRUE(ReadWholeFile(path, &bytes));
    EXPECT_EQ(bytes, content);

    EXPECT_FALSE(ReadWholeFile(dir, &bytes));  // a directory opens, then fails its read
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(ReadWholeFile(std::string(dir) + "/missing", &bytes));

    std::remove(path.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace vantor
