// Files and the device, and the ROM image listing.
#include "quillwatch/engine/debugger/FileCommands.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RemoteCommands.h"
#include "quillwatch/engine/disasm/Disassembler.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/link/DebuggerServices.h"
#include "quillwatch/link/HostShims.h"
#include "standin/win32/WindowManager.h"

namespace quillwatch {

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

// The percentage shown in place in the Debugger window.
class Progress {
  public:
    Progress(DbgContextType* ctx, bool lines) : ctx_(ctx), lines_(lines) {}
    void Show(uint64_t done, uint64_t total) {
        const int percent = total ? static_cast<int>(done * 100 / total) : 100;
        if (shown_ && percent <= last_) return;
        char text[16];
        if (lines_) {
            std::snprintf(text, sizeof text, "%3d%% \n", percent);
        } else {
            if (shown_) {
                const int end = win32::GetWindowTextLengthA(ctx_->console);
                HostEditDeleteRange(ctx_->console, end - written_, end);
            }
            written_ = std::snprintf(text, sizeof text, "%3d%%", percent);
            if (!shown_) std::strcat(text, " "), ++written_;
        }
        DbgPrint(ctx_, text);
        shown_ = true;
        last_ = percent;
    }

  private:
    DbgContextType* ctx_;
    bool lines_;
    bool shown_ = false;
    int last_ = -1;
    int written_ = 0;
};

std::string PrvDevicePath(const char* name) {
    return CmdHostPath(std::string(HostDeviceFolder()) + name);
}

}  // namespace

std::string CmdHostPath(const std::string& path) {
    std::string out = path;
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    return out;
}

uint16_t CmdLoadFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t* loaded) {
    *loaded = 0;
    File f(std::fopen(PrvDevicePath(name).c_str(), "rb"));
    if (!f) {
        DbgPrintf(ctx, "CmdLoadFile: error opening file %s\n", name);
        return 1;
    }
    std::vector<uint8_t> block(4096);
    std::fseek(f.get(), 0, SEEK_END);
    const long length = std::ftell(f.get());
    std::fseek(f.get(), 0, SEEK_SET);
    Progress progress(ctx, false);
    HostWaitCursor();
    uint16_t status = 0;
    for (;;) {
        progress.Show(static_cast<uint64_t>(std::ftell(f.get())), length > 0 ? static_cast<uint64_t>(length) : 0);
        const size_t n = std::fread(block.data(), 1, block.size(), f.get());
        if (n == 0) {
            if (std::ferror(f.get())) {
                DbgPrint(ctx, "\n\nCmdLoadFile: file read error.\n");
                status = 1;
            }
            break;
        }
        if ((status = CmdWriteRemoteMem(ctx, address, block.data(), static_cast<uint32_t>(n))) != 0) break;
        address += static_cast<uint32_t>(n);
        *loaded += static_cast<uint32_t>(n);
        HostPumpMessages(0);
    }
    HostArrowCursor();
    return status;
}

uint16_t CmdDumpFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t count) {
    File f(std::fopen(PrvDevicePath(name).c_str(), "wb"));
    if (!f) {
        DbgPrintf(ctx, "CmdDumpFile: error opening file %s\n", name);
        return 1;
    }
    std::vector<uint8_t> block(8192);
    Progress progress(ctx, false);
    HostClearUserAbort();
    for (uint32_t done = 0; done < count;) {
        progress.Show(done, count);
        const uint32_t n = count - done < block.size() ? count - done : static_cast<uint32_t>(block.size());
        if (uint16_t err = CmdReadRemoteMemCached(ctx, block.data(), address + done, n, false)) return err;
        if (std::fwrite(block.data(), 1, n, f.get()) != n) {
            DbgPrint(ctx, "\n\nCmdDumpFile: file write error.\n");
            return 1;
        }
        done += n;
        HostPumpMessages(0);
        if (DbgUserAbort()) {
            DbgPrint(ctx, "\n\nCmdDumpFile: aborted by user!\n");
            return 1;
        }
    }
    progress.Show(count, count);
    return 0;
}

uint16_t CmdSaveFile(DbgContextType* ctx, const char* name, uint32_t address, uint32_t count) {
    File f(std::fopen(PrvDevicePath(name).c_str(), "wb"));
    if (!f) {
        DbgPrintf(ctx, "CmdSaveFile: error creating file %s\n", name);
        return 1;
    }
    std::vector<uint8_t> block(4096);
    Progress progress(ctx, true);
    uint16_t status = 0;
    for (uint32_t done = 0; done < count && status == 0;) {
        progress.Show(done, count);
        const uint32_t n = count - done < block.size() ? count - done : static_cast<uint32_t>(block.size());
        status = CmdReadRemoteMemCached(ctx, block.data(), address + done, n, false);
        for (int retry = 0; status != 0 && retry < 3; ++retry) {
            DbgPrint(ctx, "Error reading remote. Retrying...\n");
            status = CmdReadRemoteMemCached(ctx, block.data(), address + done, n, false);
        }
        if (status) break;
        if (std::fwrite(block.data(), 1, n, f.get()) != n) {
            DbgPrint(ctx, "CmdSaveFile: file write error.\n");
            status = 1;
            break;
        }
        done += n;
        HostPumpMessages(0);
    }
    if (status) DbgPrint(ctx, "\n###Error saving memory to file, exiting\n");
    return status;
}

uint16_t CmdDoFileCmd(DbgContextType* ctx) {
    static constexpr CommandText kLoad{"Load the file's data fork at the specified remote address.",
                                       "Syntax: %s <\"filename\"> <addr>"};
    static constexpr CommandText kDump{"Dump memory to a file from the specified remote address.",
                                       "Syntax: %s <\"filename\"> <addr> <numBytes>"};
    static constexpr CommandText kSave{"Save data at the specified remote address to a file.",
                                       "Syntax: %s <\"filename\"> <addr> <bytes>"};
    static constexpr CommandText kBootstrap{
        "Load a ROM image into memory using bootstrap mode of the DragonballEZ processor ",
        "Syntax: %s <\"hwInitFilename\">  <\"romFilename\"> [\\slow] "};
    const uint16_t id = CmdCommandId(ctx);
    const CommandText& text = id == dbgCmdLoad ? kLoad : id == dbgCmdDump ? kDump : id == dbgCmdSave ? kSave
                                                                                                   : kBootstrap;
    if (CmdAnswerHelp(ctx, id, text)) return 0;
    if (id == dbgCmdBootstrap) {
        // The bootstrap load talks to the processor's bootstrap mode over a serial port, which the
        // links of this debugger do not offer.
        DbgPrint(ctx, "Error: bootstrap not enabled in this build of the debugger.\n");
        return 1;
    }
    if (!CmdRequireAttached(ctx)) return 1;
    const char* name = CmdArgString(DbgEvalArg(ctx, 1));
    uint32_t address, count = 0;
    const bool needsCount = id != dbgCmdLoad;
    if (!name || !CmdArgNumber(DbgEvalArg(ctx, 2), &address) ||
        (needsCount && !CmdArgNumber(DbgEvalArg(ctx, 3), &count)) || DbgEvalArg(ctx, needsCount ? 4 : 3)) {
        CmdPrintSyntax(ctx, id, text);
        return 1;
    }
    std::string file = name;  // the eval stack goes on holding the name while the transfer runs
    ctx->dotAddress = address;
    if (id == dbgCmdLoad) {
        uint32_t loaded = 0;
        uint16_t status = CmdLoadFile(ctx, file.c_str(), address, &loaded);
        if (status == 0) DbgPrintf(ctx, "\n#%u bytes loaded at $%08X.\n", loaded, address);
        return status;
    }
    if (id == dbgCmdDump) {
        uint16_t status = CmdDumpFile(ctx, file.c_str(), address, count);
        if (status == 0) DbgPrintf(ctx, "\n#%u bytes dumped from $%08X.\n", count, address);
        return status;
    }
    uint16_t status = CmdSaveFile(ctx, file.c_str(), address, count);
    if (status == 0) DbgPrintf(ctx, "\n#%u bytes saved from address $%08X to file \"%s\"\n", count, address, file.c_str());
    return status;
}

// ---- ROM image listing ----

size_t CmdFindRoutineEnd(const uint8_t* code, size_t bytes) {
    const size_t words = bytes / 2 < 8192 ? bytes / 2 : 8192;
    for (size_t i = 0; i < words; ++i) {
        const uint16_t w = vantor::ReadBE16(code + 2 * i);
        if (w == 0x4E73 || w == 0x4E74 || w == 0x4ED0) return 2 * (i + 1);
        if (w == 0x4E75 && !(i >= 3 && vantor::ReadBE16(code + 2 * (i - 3)) == 0x0697)) return 2 * (i + 1);
    }
    return 2 * words;
}

namespace {

struct ROMMapRecord {
    uint32_t address;
    char name[36];
};

void PrvListRoutine(const ROMMapRecord& r, const std::vector<uint8_t>& image, uint32_t base, FILE* out) {
    std::fprintf(out, "\n%s:\n", r.name);
    // Addresses outside the image list nothing; a routine stops at the image's end.
    const uint32_t offset = (r.address - base) & ~1u;
    if (r.address < base || offset >= image.size()) return;
    const uint8_t* code = image.data() + offset;
    const size_t available = image.size() - offset;
    const size_t end = CmdFindRoutineEnd(code, available);
    std::vector<uint16_t> words = DisasmWordsFromBytes(std::span<const uint8_t>(code, available));
    DisasmContext dc;
    dc.symbolsOn = false;
    for (size_t index = 0; index * 2 < end && index < words.size();) {
        DisasmResult line = DisassembleLine(dc, base + offset + static_cast<uint32_t>(index * 2), words, index);
        std::fprintf(out, "%s\n", line.text.c_str());
        if (line.nextIndex <= index) break;
        index = line.nextIndex;
    }
}

}  // namespace

uint16_t CmdRomListing(DbgContextType* ctx, const char* imageName, const char* mapName, const char* outputName) {
    File image(std::fopen(CmdHostPath(imageName).c_str(), "rb"));
    if (!image) {
        DbgPrintf(ctx, "file: '%s' not found\n", imageName);
        return 1;
    }
    std::fseek(image.get(), 0, SEEK_END);
    const long length = std::ftell(image.get());
    std::fseek(image.get(), 0, SEEK_SET);
    uint8_t header[256];
    if (length < 256 || std::fread(header, 1, sizeof header, image.get()) != sizeof header) {
        DbgPrint(ctx, "Could not read ROM image file header\n");
        return 1;
    }
    vantor::SwapCardHeader(header);
    uint32_t reset;
    std::memcpy(&reset, header + 4, 4);
    const uint32_t base = reset & 0xFFC00000;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        DbgPrint(ctx, "Could not allocate memory to read file\n");
        return 1;
    }
    std::fseek(image.get(), 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), image.get()) != bytes.size()) {
        DbgPrint(ctx, "Could not read in file\n");
        return 1;
    }
    image.reset();

    File map(std::fopen(CmdHostPath(mapName).c_str(), "r"));
    if (!map) {
        DbgPrintf(ctx, "file: '%s' not found\n", mapName);
        return 1;
    }
    std::vector<ROMMapRecord> records;
    for (;;) {
        ROMMapRecord r{};
        unsigned long address;
        int got = std::fscanf(map.get(), " %35s $%lx \n", r.name, &address);
        if (got == EOF) break;
        if (got != 2) {
            DbgPrint(ctx, "Could not read ROM Map file\n");
            return 1;
        }
        r.address = static_cast<uint32_t>(address) + 0x8000;
        records.push_back(r);
    }
    File out(std::fopen(CmdHostPath(outputName).c_str(), "w"));
    if (!out) {
        DbgPrintf(ctx, "file: '%s' could not be created\n", outputName);
        return 1;
    }
    const uint8_t symbolsOn = ctx->symbolsOn;
    ctx->symbolsOn = 0;
    for (const ROMMapRecord& r : records) PrvListRoutine(r, bytes, base, out.get());
    ctx->symbolsOn = symbolsOn;
    return 0;
}

uint16_t CmdDoRomListingCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Disassemble a ROM image.",
                                       "Syntax: %s <romImageName> <romMapName> <outputFileName>"};
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    const char* image = CmdArgString(DbgEvalArg(ctx, 1));
    const char* map = CmdArgString(DbgEvalArg(ctx, 2));
    const char* output = CmdArgString(DbgEvalArg(ctx, 3));
    if (!image || !map || !output || DbgEvalArg(ctx, 4)) {
        CmdPrintSyntax(ctx, id, kText);
        return 1;
    }
    return CmdRomListing(ctx, image, map, output);
}

}  // namespace quillwatch
