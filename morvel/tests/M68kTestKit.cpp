#include "M68kTestKit.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/BigEndian.h"
#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/traps/TrapTable.h"

namespace morvel::test {

std::string RunCommand(const std::string& command, int* status) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    if (status) *status = rc;
    return out;
}

std::string DumpWindow(const std::string& windowID) {
    return RunCommand("xwd -silent -id " + windowID + " 2>/dev/null");
}

int64_t DumpPixel(const std::string& dump, uint32_t x, uint32_t y) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(dump.data());
    if (dump.size() < 100) return -1;
    const uint32_t headerSize = vantor::ReadBE32(bytes), format = vantor::ReadBE32(bytes + 8),
                   width = vantor::ReadBE32(bytes + 16), height = vantor::ReadBE32(bytes + 20),
                   byteOrder = vantor::ReadBE32(bytes + 28), bitsPerPixel = vantor::ReadBE32(bytes + 44),
                   bytesPerLine = vantor::ReadBE32(bytes + 48), colours = vantor::ReadBE32(bytes + 76);
    const size_t at = size_t{headerSize} + size_t{colours} * 12 + size_t{y} * bytesPerLine + size_t{x} * 4;
    if (format != 2 || bitsPerPixel != 32 || x >= width || y >= height || at + 4 > dump.size()) return -1;
    const uint8_t* p = bytes + at;
    return byteOrder == 0 ? uint32_t{p[0]} | p[1] << 8 | p[2] << 16 : uint32_t{p[3]} | p[2] << 8 | p[1] << 16;
}

bool Eventually(const std::function<bool()>& condition, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return condition();
}

std::vector<uint8_t> Assemble(const std::string& source) {
    char dir[] = "/tmp/morvel-asm-XXXXXX";
    if (!mkdtemp(dir)) return {};
    std::string d = dir;
    std::ofstream(d + "/a.s") << source << "\n";
    int status = 0;
    std::string log = RunCommand("m68k-linux-gnu-as -m68000 -o " + d + "/a.o " + d + "/a.s 2>&1 && " +
                                     "m68k-linux-gnu-objcopy -O binary -j .text " + d + "/a.o " + d + "/a.bin 2>&1",
                                 &status);
    EXPECT_EQ(status, 0) << log;
    std::ifstream in(d + "/a.bin", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    RunCommand("rm -rf " + d);
    return bytes;
}

uint8_t* MapFixedArea() {
    static uint8_t* area = nullptr;
    if (!area) {
        void* p = mmap(reinterpret_cast<void*>(kFixedBase), kFixedSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p == MAP_FAILED || p != reinterpret_cast<void*>(kFixedBase)) return nullptr;
        area = static_cast<uint8_t*>(p);
    }
    return area;
}

void MorvelTest::SetUp() {
    StandinTest::SetUp();
    vantor::glue::SetSystemTable(vantor::os::SystemTable());
}

void TrapGlueTest::SetUp() {
    MorvelTest::SetUp();
    ASSERT_EQ(TrapTableCreate(&ctx_.state), 0);
}

uint16_t TrapGlueTest::Run(const std::string& src) {
    code_ = Assemble(src + "\n .even\ndata:\n");
    dataOffset_ = code_.size();
    code_.resize(code_.size() + 64, 0);
    return Call68KCode(&ctx_.state, Addr(code_.data()), 0);
}

namespace {
template <typename T>
T KezSymbol(void* handle, const char* name) {
    return reinterpret_cast<T>(dlsym(handle, name));
}
}  // namespace

void RealKezTest::SetUpTestSuite() { kez_ = dlopen(VANTOR_BIN_DIR "/libKez.so", RTLD_NOW); }

void RealKezTest::SetUp() {
    TrapGlueTest::SetUp();
    ASSERT_NE(kez_, nullptr) << dlerror();
    // What Kez's host program hands it before the OS starts.
    KezSymbol<uint32_t (*)(const char*)>(kez_, "PrvRALSetExePath")(VANTOR_BIN_DIR "/");
    KezSymbol<void (*)(void*, void*)>(kez_, "PrvRALPatchHandles")(kez_, dlopen(nullptr, RTLD_NOW));
    KezSymbol<void (*)(vantor::SystemDispatchTable)>(kez_, "PrvPatchSystemDispatchTable")(vantor::os::SystemTable());
    KezSymbol<void (*)()>(kez_, "__SetMyDispatchTable")();
    ASSERT_TRUE(vantor::os::RegisterModule(kez_));
    // Library modules import this Morvel.
    vantor::os::RegisterTable(vantor::kA68kType, vantor::kA68kCreator, MorvelExportTable(), vantor::kA68kSlots);
}

void RealKezTest::TearDown() {
    vantor::os::UnregisterModule(vantor::kA68kType, vantor::kA68kCreator);
    vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
    TrapGlueTest::TearDown();
}

vantor::ModuleProc* RealKezTest::KezExports() {
    uint32_t table = 0;
    KezSymbol<ModuleExportDispatchTableProc>(kez_, "__ExportDispatchTable")(&table);
    return reinterpret_cast<vantor::ModuleProc*>(static_cast<uintptr_t>(table));
}

std::vector<std::string> MorvelTest::Reports() {
    std::vector<std::string> out;
    for (const auto& r : vantor::os::ErrorReports()) {
        // The fatal alert shows "file, Line:N, message": listed as the OS's own reports are.
        size_t at = r.message.find(", Line:");
        size_t end = at == std::string::npos ? at : r.message.find(", ", at + 7);
        if (r.file == "SysFatalAlert" && end != std::string::npos)
            out.push_back(r.message.substr(0, at) + ":" + r.message.substr(at + 7, end - at - 7) + ":" +
                          r.message.substr(end + 2));
        else
            out.push_back(r.file + ":" + std::to_string(r.line) + ":" + r.message);
    }
    return out;
}

void AddResource(uint32_t dbID, uint32_t type, uint16_t id, const std::vector<uint8_t>& bytes) {
    void* h = vantor::sys::DmNewResource(dbID, type, id, static_cast<uint32_t>(bytes.size()));
    ASSERT_NE(h, nullptr);
    if (!bytes.empty()) std::memcpy(vantor::sys::MemHandleLock(h), bytes.data(), bytes.size());
    vantor::sys::MemHandleUnlock(h);
}

TestContext::TestContext() : stack(16384, 0) {
    state.A[7] = StackTop();
    state.global = &state;
    SetCurrentContext(&state);
}
TestContext::~TestContext() {
    if (GetCurrentContext() == &state) SetCurrentContext(nullptr);
}
uint32_t TestContext::StackTop() const { return Addr(stack.data()) + static_cast<uint32_t>(stack.size()) - 64; }

}  // namespace morvel::test
