#include "M68kTestKit.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "common/ResourceDb.h"
#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "morvel/cpu/MorvelCpu.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/glue/MorvelExports.h"
#include "morvel/launch/AppLaunch.h"
#include "morvel/traps/TrapTable.h"
#include "standin/os/DatabaseStore.h"
#include "standin/os/StandinOs.h"

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

bool DarkPixel(const std::string& dump, uint32_t x, uint32_t y) {
    const int64_t v = DumpPixel(dump, x, y);
    return v >= 0 && v < 0x202020;
}

bool DarkBluePixel(const std::string& dump, uint32_t x, uint32_t y) {
    const int64_t v = DumpPixel(dump, x, y);
    return v >= 0 && (v >> 16) < 0x20 && (v & 0xFF) > 0x80;
}

bool AnyDarkPixel(const std::string& dump, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    for (uint32_t y = y0; y < y1; ++y)
        for (uint32_t x = x0; x < x1; ++x)
            if (DarkPixel(dump, x, y)) return true;
    return false;
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
    std::error_code ignored;
    std::filesystem::remove_all(d, ignored);  // in-process: each child of this process costs a fork
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

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

vantor::KezMemoryArea gUiAppAreas[3] = {
    {0, 0x60000000, 0x100000}, {1, 0x57000000, 0x80000}, {2, 0x58000000, 0x200000}};
vantor::KezMemoryAreas gUiAppAreaList{3, gUiAppAreas};
vantor::KezMemoryAreas* UiAppAreaList() { return &gUiAppAreaList; }
// As kez-host answers it: the bytes of the stand-in's heap from an address on.
uint32_t UiAppAreaSize(uint32_t address, uint32_t) {
    return vantor::os::HeapAreaSize(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)));
}
vantor::ModuleProc* UiAppKezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        t[vantor::kezslot::HALMemoryGetAreas] = reinterpret_cast<vantor::ModuleProc>(&UiAppAreaList);
        t[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(&UiAppAreaSize);
        return t;
    }();
    return table.data();
}

}  // namespace

void UiAppTest::SetUp() {
    MorvelTest::SetUp();
    vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, UiAppKezTable(), vantor::kKezSlots);
    ASSERT_EQ(EmulatorOpen(), 0);
}

void UiAppTest::TearDown() {
    EmulatorClose();
    vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
    MorvelTest::TearDown();
}

void UiAppTest::InstallApp(const std::string& vrxPath) {
    const std::string bytes = ReadText(vrxPath);
    vantor::ResourceDb db;
    std::string error;
    ASSERT_TRUE(
        vantor::ResourceDbParse(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &db, &error))
        << error;
    const uint32_t app = vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    vantor::os::WithDatabase(app, [&bytes](vantor::os::DatabaseEntry& entry) {
        entry.attributes |= 0x0001;
        entry.appInfo = vantor::os::DatabaseImageAppInfo(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    });
    for (const auto& r : db.resources) AddResource(app, r.type, r.id, r.bytes);
    vantor::os::SetCurrentAppDatabase(app);
    uint32_t ref = vantor::sys::DmOpenDatabaseByID(app, 1);
    std::memcpy(static_cast<uint8_t*>(vantor::sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
}

void PostEvent(uint16_t type, uint16_t data, int16_t x, int16_t y) {
    vantor::SysEventType e{};
    e.eType = type;
    e.screenX = x;
    e.screenY = y;
    std::memcpy(e.data, &data, 2);
    vantor::sys::EvtAddEventToQueue(&e);
}

KezHostApp::KezHostApp(const std::string& vrxPath, const std::string& launchName, const std::string& options,
                       int x, int y)
    : dir("/tmp/morvel-app-" + std::to_string(getpid())), log(dir + "/log") {
    const std::string bin = VANTOR_BIN_DIR;
    int status = 0;
    RunCommand("rm -rf " + dir + " && mkdir -p " + dir + "/autoload && cp " + bin + "/kez-host " + bin +
                   "/libKez.so " + bin + "/libVantorOS.so " + bin + "/libMorvel.so " + dir + "/ && cp " + vrxPath +
                   " " + dir + "/autoload/",
               &status);
    if (status != 0) {
        ADD_FAILURE() << "cannot prepare " << dir;
        return;
    }
    // Morvel comes as a database naming its library, as the OS installs modules.
    vantor::ResourceDb module;
    module.name = "libMorvel.dll";
    module.type = vantor::FourCC("libr");
    module.creator = vantor::FourCC("a68k");
    module.attributes = 0x0001;
    module.version = 1;
    module.resources.push_back({vantor::FourCC("code"), 0, std::vector<uint8_t>(4, 0)});
    const std::vector<uint8_t> image = vantor::ResourceDbWrite(module);
    std::ofstream(dir + "/autoload/Morvel.vrx", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const std::string rom = dir + "/test.rom", storage = dir + "/storage.img";
    RunCommand(dir + "/kez-host --make-rom " + rom + " > /dev/null", &status);
    if (status != 0) {
        ADD_FAILURE() << "kez-host --make-rom failed";
        return;
    }
    host = static_cast<pid_t>(std::stol("0" + RunCommand(dir + "/kez-host --rom " + rom + " --storage " + storage +
                                                         " --heap-kb 4096 --run-ms 240000 " + options + " --launch '" +
                                                         launchName + "' > " + log + " 2>&1 & echo $!")));
    if (host <= 0) {
        ADD_FAILURE() << "kez-host did not start";
        return;
    }
    window = RunCommand("timeout 60 xdotool search --sync --onlyvisible --pid " + std::to_string(host) +
                        " --name '^Vantor OS$'");
    window = window.substr(0, window.find('\n'));
    if (window.empty()) {
        ADD_FAILURE() << "no window\n" << Log();
        return;
    }
    RunCommand("xdotool windowmove " + window + " " + std::to_string(x) + " " + std::to_string(y) + " windowraise " +
               window);
}

void KezHostApp::Click(int x, int y) const {
    RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
               " click 1");
}

void KezHostApp::Drag(int x, int y, const std::vector<std::pair<int, int>>& to) const {
    auto move = [&](int px, int py) {
        return " mousemove --window " + window + " " + std::to_string(px) + " " + std::to_string(py);
    };
    std::string command = "xdotool" + move(x, y) + " mousedown 1";
    for (const auto& [px, py] : to) command += " sleep 0.2" + move(px, py);
    RunCommand(command + " sleep 0.2 mouseup 1");
}

std::string KezHostApp::Keep(const std::string& picture) const {
    std::ofstream(dir + ".xwd", std::ios::binary) << picture;
    return "(its picture: " + dir + ".xwd)\n" + Log();
}

KezHostApp::~KezHostApp() {
    if (host > 0) {
        kill(host, SIGTERM);
        Eventually([&] { return kill(host, 0) != 0; }, 30);
    }
    RunCommand("rm -rf " + dir);
}

}  // namespace morvel::test
