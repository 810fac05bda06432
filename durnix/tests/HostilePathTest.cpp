// Paths and names that try to leave the volume: every operation that takes a path is tried with
// every one of them, and the folder beside the volume must be exactly as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "DurnixTestKit.h"

namespace durnix::test {
namespace {

namespace fs = std::filesystem;

class HostilePathTest : public VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        // Beside the root: top/outside with a secret, and top/card2, a sibling whose name starts
        // with the root's.
        outside_ = top_ + "/outside";
        fs::create_directories(outside_ + "/dir");
        fs::create_directories(top_ + "/card2");
        Write(outside_ + "/secret", "secret");
        Write(top_ + "/card2/secret", "secret");
        // Inside the root: links that lead out, one of them dangling.
        ASSERT_EQ(symlink(outside_.c_str(), (root_ + "/out").c_str()), 0);
        ASSERT_EQ(symlink((outside_ + "/secret").c_str(), (root_ + "/outfile").c_str()), 0);
        ASSERT_EQ(symlink((outside_ + "/new").c_str(), (root_ + "/dangle").c_str()), 0);
        ASSERT_EQ(symlink("../outside", (root_ + "/rel").c_str()), 0);
        fs::create_directories(root_ + "/in");
        Write(root_ + "/in/own", "own");
    }
    // Everything below the folders beside the root, with each file's contents.
    std::set<std::string> Outside() const {
        std::set<std::string> all;
        for (const char* d : {"/outside", "/card2"})
            for (const auto& e : fs::recursive_directory_iterator(top_ + d))
                all.insert(e.path().string() + "=" + (e.is_regular_file() ? Contents(e.path().string()) : "dir"));
        for (const auto& e : fs::directory_iterator(top_)) all.insert(e.path().string());
        return all;
    }
    std::string outside_;
};

// Device paths that name something outside the root, or lead there on the way.
const char* const kHostilePaths[] = {
    "..",
    "/..",
    "/../outside/secret",
    "\\..\\outside\\secret",
    "//..//outside//secret",
    "/in/../../outside/secret",
    "/../card2/secret",
    "/../card2",
    "/out",
    "/out/secret",
    "/OUT/SECRET",
    "/out/dir",
    "/out/new",
    "/out/dir/new",
    "/outfile",
    "/OutFile",
    "/dangle",
    "/rel/secret",
    "/rel/new",
    "/../outside/new",
    "/../outside/dir/new",
};

TEST_F(HostilePathTest, NoOperationReachesOutsideTheRoot) {
    const auto before = Outside();
    for (const char* path : kHostilePaths) {
        SCOPED_TRACE(path);
        FileRef ref = 0;
        for (uint16_t mode : {0x02, 0x05, 0x07}) {
            EXPECT_NE(FSFileOpen(kVol, path, mode, &ref), 0) << mode;
            EXPECT_EQ(ref, 0u);
        }
        EXPECT_NE(FSFileCreate(kVol, path), 0);
        EXPECT_NE(FSDirCreate(kVol, path), 0);
        EXPECT_NE(FSFileDelete(kVol, path), 0);
        EXPECT_NE(FSFileRename(kVol, path, "moved"), 0);
        EXPECT_EQ(Outside(), before);
    }
    // Renames of a file beside the links onto a name that leads out.
    Write(root_ + "/mine", "mine");
    for (const char* name : {"../outside/x", "..", "out", "outfile", "dangle", "rel", "/etc", "a\\..\\..\\b"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(FSFileRename(kVol, "/mine", name), 0);
        EXPECT_EQ(Contents(root_ + "/mine"), "mine");
    }
    EXPECT_EQ(Outside(), before);
    EXPECT_TRUE(fs::is_symlink(root_ + "/out"));
    EXPECT_TRUE(fs::is_symlink(root_ + "/dangle"));
    EXPECT_FALSE(fs::exists(outside_ + "/new"));
}

TEST_F(HostilePathTest, AnAbsoluteHostPathIsTakenInsideTheRoot) {
    const auto before = Outside();
    const std::string absolute = outside_ + "/secret";
    FileRef ref = 0;
    EXPECT_EQ(FSFileOpen(kVol, absolute.c_str(), kModeRead, &ref), errPathNotFound);
    EXPECT_NE(FSFileDelete(kVol, absolute.c_str()), 0);
    EXPECT_EQ(Outside(), before);
}

TEST_F(HostilePathTest, ARootThatIsALinkServesNothing) {
    const std::string link = top_ + "/cardlink";
    ASSERT_EQ(symlink(root_.c_str(), link.c_str()), 0);
    ASSERT_EQ(Mount(2, 4, link), 0);
    FileRef ref = 0;
    EXPECT_NE(FSFileOpen(2, "/in/own", kModeRead, &ref), 0);
    EXPECT_NE(FSFileCreate(2, "/in/new"), 0);
    EXPECT_NE(FSFileDelete(2, "/in/own"), 0);
    EXPECT_FALSE(fs::exists(root_ + "/in/new"));
    EXPECT_EQ(Contents(root_ + "/in/own"), "own");
}

}  // namespace
}  // namespace durnix::test
