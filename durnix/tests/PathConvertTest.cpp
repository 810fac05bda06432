// Device paths against a real host directory tree: separators, case matching, paths that leave the
// volume, and names to be created.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/module/ModuleGlue.h"
#include "common/module/ProgramModule.h"
#include "durnix/PathConvert.h"
#include "standin/os/StandinTest.h"

VANTOR_PROGRAM_AS_MODULE("Dnx_")

namespace durnix {
namespace {

namespace fs = std::filesystem;

class PathConvertTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        char pattern[] = "/tmp/durnix-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        top_ = pattern;
        root_ = top_ + "/card";
        fs::create_directories(root_ + "/Apps/Launcher");
        fs::create_directories(top_ + "/card2");
        Touch(root_ + "/Apps/Launcher/x.vrx");
        Touch(top_ + "/card2/secret");
        globals_.separator = '/';
        SetRoot(root_);
    }
    void TearDown() override {
        fs::remove_all(top_);
        StandinTest::TearDown();
    }
    static void Touch(const std::string& path) { fclose(fopen(path.c_str(), "w")); }
    void SetRoot(const std::string& root) { std::snprintf(volume_.root, sizeof volume_.root, "%s", root.c_str()); }
    // The converted path, or "(null)".
    std::string Convert(const char* devicePath, bool create = false) {
        char* p = PrvFSPathConvert(&globals_, &volume_, devicePath, create);
        std::string s = p ? p : "(null)";
        std::free(p);
        return s;
    }
    std::string top_, root_;
    DurnixGlobals globals_{};
    DurnixVolume volume_{};
};

TEST_F(PathConvertTest, SeparatorsAndCaseFollowTheHost) {
    EXPECT_EQ(Convert("\\Apps//Launcher\\x.vrx"), root_ + "/Apps/Launcher/x.vrx");
    EXPECT_EQ(Convert("apps/LAUNCHER/X.VRX"), root_ + "/Apps/Launcher/x.vrx");  // no leading separator
    EXPECT_EQ(Convert("/"), root_);
    EXPECT_EQ(Convert("/Apps/missing"), "(null)");
    auto traces = vantor::os::TraceLines();
    EXPECT_NE(std::find_if(traces.begin(), traces.end(),
                           [](const std::string& t) { return t.find("realpath(") != std::string::npos; }),
              traces.end());

    // A FAT volume skips the matching: the host's own spelling is then needed.
    volume_.fsMagic = kFsMagicMsDos;
    EXPECT_EQ(Convert("/APPS/launcher/x.vrx"), "(null)");
    EXPECT_EQ(Convert("/Apps/Launcher/x.vrx"), root_ + "/Apps/Launcher/x.vrx");
}

TEST_F(PathConvertTest, TwoSpellingsInOneDirectoryTakeTheHostsFirst) {
    fs::create_directories(root_ + "/Foo");
    fs::create_directories(root_ + "/foo");
    std::string first;
    for (const auto& e : fs::directory_iterator(root_)) {
        const std::string name = e.path().filename().string();
        if (name == "Foo" || name == "foo") {
            first = name;
            break;
        }
    }
    EXPECT_EQ(Convert("/FOO"), root_ + "/" + first);
    EXPECT_EQ(Convert("/foo"), root_ + "/" + first);
}

TEST_F(PathConvertTest, PathsThatLeaveTheVolumeAreRefused) {
    EXPECT_EQ(Convert("/../card2/secret"), "(null)");
    EXPECT_EQ(Convert("/Apps/../../card2"), "(null)");
    EXPECT_EQ(Convert("/Apps/.."), root_);
    EXPECT_EQ(Convert("/..", true), "(null)");              // an existing last name is resolved too
    EXPECT_EQ(Convert("/../card2/new", true), "(null)");
    ASSERT_EQ(symlink((top_ + "/card2").c_str(), (root_ + "/out").c_str()), 0);
    EXPECT_EQ(Convert("/out/secret"), "(null)");
    EXPECT_EQ(Convert("/out", true), "(null)");             // creating over a link that leads out
    EXPECT_EQ(Convert("/out/new", true), "(null)");

    // A root reached through a link is not resolved itself: nothing under it matches its text.
    ASSERT_EQ(symlink(root_.c_str(), (top_ + "/link").c_str()), 0);
    SetRoot(top_ + "/link");
    EXPECT_EQ(Convert("/Apps/Launcher/x.vrx"), "(null)");
}

TEST_F(PathConvertTest, NamesToCreateNeedOnlyTheirParent) {
    EXPECT_EQ(Convert("/apps/New.txt", true), root_ + "/Apps/New.txt");
    EXPECT_EQ(Convert("/Apps/new/", true), root_ + "/Apps/new/");
    EXPECT_EQ(Convert("/Apps/a/b", true), "(null)");  // the parent does not exist
    EXPECT_EQ(Convert("x", true), root_ + "/x");
    EXPECT_EQ(Convert("/", true), "(null)");
}

// Entries whose inode numbers need 64 bits (an overlay of two file systems numbers the lower
// layer's files with its high bits set) are listed and matched like any other.
TEST_F(PathConvertTest, EntriesWithSixtyFourBitInodeNumbersAreMatched) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting an overlay needs root";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace: " << std::strerror(errno);
    std::string base = top_ + "/overlay";
    for (const char* d : {"", "/layers", "/lower", "/upper", "/work", "/card"}) fs::create_directories(base + d);
    ASSERT_EQ(mount("lower", (base + "/lower").c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    ASSERT_EQ(mount("layers", (base + "/layers").c_str(), "tmpfs", 0, nullptr), 0) << std::strerror(errno);
    for (const char* d : {"/layers/upper", "/layers/work"}) fs::create_directories(base + d);
    Touch(base + "/lower/Memo.TXT");
    std::string options = "lowerdir=" + base + "/lower,upperdir=" + base + "/layers/upper,workdir=" + base +
                          "/layers/work,xino=on";
    if (mount("overlay", (base + "/card").c_str(), "overlay", 0, options.c_str()) != 0)
        GTEST_SKIP() << "no overlay file system: " << std::strerror(errno);
    struct stat status;
    ASSERT_EQ(stat((base + "/card/Memo.TXT").c_str(), &status), 0) << std::strerror(errno);
    EXPECT_GT(static_cast<uint64_t>(status.st_ino), 0xFFFFFFFFull);
    SetRoot(base + "/card");
    EXPECT_EQ(Convert("/memo.txt"), base + "/card/Memo.TXT");
    umount2((base + "/card").c_str(), MNT_DETACH);
    umount2((base + "/layers").c_str(), MNT_DETACH);
    umount2((base + "/lower").c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace durnix
