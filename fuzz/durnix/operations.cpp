// The library's operations driven by the input, on a small volume beside a folder that nothing may
// reach. Input: a sequence of steps, each an operation byte and its argument bytes; paths and names
// are NUL-terminated texts of the input. File references are picked among the open ones, or made
// up. After every input the folder beside the volume must be as it was.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "durnix/Durnix.h"
#include "standin/os/StandinOs.h"

namespace {

namespace fs = std::filesystem;
using namespace durnix;

std::string gTop;

class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool More() const { return p_ < end_; }
    uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
    uint32_t Word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
        return v;
    }
    std::string Text() {
        std::string s;
        while (p_ < end_ && *p_) s += static_cast<char>(*p_++);
        if (p_ < end_) ++p_;
        return s;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// The tree lives in memory where the machine has a RAM folder: most inputs change the volume,
// and making it again on a disk file system costs far more than running the input.
void MakeTree() {
    std::error_code ec;
    const std::string base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = base + "/durnix-fuzz-ops-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    gTop = pattern;
    fs::create_directories(gTop + "/outside");
    if (FILE* f = std::fopen((gTop + "/outside/secret").c_str(), "w")) {
        std::fputs("secret", f);
        std::fclose(f);
    }
    std::atexit([] { fs::remove_all(gTop); });
}

// The volume's contents at the start of every input: a file, a directory and links that lead out.
void ResetVolume() {
    const std::string root = gTop + "/card";
    // The input may have made entries read-only: they are made writable first.
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
    fs::create_directories(root + "/Dir");
    if (FILE* f = std::fopen((root + "/File").c_str(), "w")) {
        std::fputs("0123456789", f);
        std::fclose(f);
    }
    if (symlink((gTop + "/outside").c_str(), (root + "/out").c_str()) != 0) std::abort();
    if (symlink((gTop + "/outside/new").c_str(), (root + "/dangle").c_str()) != 0) std::abort();
}

bool OutsideIntact() {
    int entries = 0;
    for (const auto& e : fs::directory_iterator(gTop + "/outside")) {
        (void)e;
        ++entries;
    }
    struct stat st;
    return entries == 1 && stat((gTop + "/outside/secret").c_str(), &st) == 0 && st.st_size == 6 &&
           (st.st_mode & 0777) != 0;
}

void Setup() {
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
    MakeTree();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (Setup(), true);
    (void)ready;
    // The stand-in's logs are emptied now and then: a reset per input would cost more than the
    // input itself.
    static unsigned inputs = 0;
    if (inputs++ % 256 == 0) {
        using vantor::os::Library;
        vantor::os::Reset();
        vantor::os::CaptureOutput(true);
        for (uint16_t slot : {vantor::sysslot::FileSystemSel22, vantor::sysslot::FileSystemSel23,
                              vantor::sysslot::SysNotifyUnregisterDirect, vantor::sysslot::FileSystemSel4,
                              vantor::sysslot::FileSystemSel26, vantor::sysslot::SysCurAppDatabase})
            vantor::os::ScriptResult(Library::System, slot, 0);
    }
    // The volume is made again only after an input that changed it.
    static bool dirty = true;
    if (dirty) ResetVolume();
    dirty = false;
    FSLibOpen();
    DurnixVolume& v = DurnixGlobalsGet()->volumes[0];
    v.volRefNum = 1;
    v.slotRefNum = 1;
    std::snprintf(v.root, sizeof v.root, "%s/card", gTop.c_str());

    Input in(data, size);
    std::vector<FileRef> open;
    uint8_t buffer[2048];
    auto pick = [&]() -> FileRef {
        uint8_t b = in.Byte();
        if (b == 0xFF) return in.Word();  // a made-up reference
        return open.empty() ? 0 : open[b % open.size()];
    };
    for (int steps = 0; in.More() && steps < 16; ++steps) {
        const uint8_t op = in.Byte();
        const uint16_t vol = (op & 0x80) ? 2 : 1;  // volume 2 is not mounted
        uint32_t out = 0, out2 = 0;
        switch (op & 0x1F) {
            case 0: dirty |= FSFileCreate(vol, in.Text().c_str()) == 0; break;
            case 1: {
                std::string path = in.Text();
                FileRef ref = 0;
                const uint16_t mode = in.Byte() & 0x1F;
                if (FSFileOpen(vol, path.c_str(), mode, &ref) == 0) {
                    open.push_back(ref);
                    dirty |= (mode & kModeWrite) == kModeWrite;  // written to, or emptied
                }
                break;
            }
            case 2: {
                FileRef ref = pick();
                if (FSFileClose(ref) == 0) std::erase(open, ref);
                break;
            }
            case 3: {
                FileRef ref = pick();
                uint32_t count = in.Word() % 1500, offset = in.Byte();
                FSFileRead(ref, count, buffer, offset, 0, (op & 0x40) ? nullptr : &out);
                break;
            }
            case 4: {
                FileRef ref = pick();
                FSFileWrite(ref, in.Word() % sizeof buffer, buffer, &out);
                break;
            }
            case 5: dirty |= FSFileDelete(vol, in.Text().c_str()) == 0; break;
            case 6: {
                std::string path = in.Text();
                dirty |= FSFileRename(vol, path.c_str(), in.Text().c_str()) == 0;
                break;
            }
            case 7: {
                FileRef ref = pick();
                FSFileSeek(ref, in.Byte() % 4, static_cast<int32_t>(in.Word() % 4096) - 2048);
                break;
            }
            case 8: FSFileEOF(pick()); break;
            case 9: FSFileTell(pick(), &out); break;
            case 10: {
                FileRef ref = pick();
                FSFileResize(ref, in.Word() % 5000);
                break;
            }
            case 11: FSFileGetAttributes(pick(), &out); break;
            case 12: {
                FileRef ref = pick();
                dirty |= FSFileSetAttributes(ref, in.Byte()) == 0;
                break;
            }
            case 13: {
                FileRef ref = pick();
                FSFileGetDate(ref, in.Byte() % 5, &out);
                break;
            }
            case 14: {
                FileRef ref = pick();
                uint16_t selector = in.Byte() % 5;
                FSFileSetDate(ref, selector, in.Word());
                break;
            }
            case 15: FSFileSize(pick(), &out); break;
            case 16: dirty |= FSDirCreate(vol, in.Text().c_str()) == 0; break;
            case 17: {
                FileRef ref = pick();
                char name[64];
                DurnixDirEntryInfo info{0, (op & 0x40) ? 0u : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(name)),
                                        static_cast<uint16_t>(in.Byte() % (sizeof name + 1))};
                out = in.Byte();
                FSDirEntryEnumerate(ref, &out, &info);
                break;
            }
            case 18: {
                char label[32];
                FSVolumeGetLabel(vol, label, static_cast<uint16_t>(in.Byte() % (sizeof label + 1)));
                break;
            }
            case 19: {
                DurnixVolumeInfo info{};
                FSVolumeInfo(vol, &info);
                break;
            }
            case 20: FSVolumeSize(vol, &out, &out2); break;
            default: break;
        }
    }
    FSVolumeUnmount(1);
    while (DurnixGlobalsGet()->openCount) FSLibClose();
    if (!OutsideIntact()) std::abort();
    return 0;
}
