// The stand-in OS, as its own tests, kez-host and the test programs of the modules see it.
//
// It hands out the system dispatch table (918 slots) and the tables of the libraries that modules
// import (the UI library 'zuim', the host-control library 'host', the card-slot library 'yhov' and
// 'zdim'), binds import descriptors (system slot 543) to those libraries and to the real modules
// registered with it, and gives real behaviour to the slots whose effect the modules rely on
// (memory manager, trace, error report, features, ticks, tasks, event queue, databases).
//
// Every other slot records its call in a call log and answers what a test scripted; a call that no
// test expected is reported to the unexpected-call handler, which by default prints the call and
// aborts the process. A slot's behaviour is registered from its own source file with
// VANTOR_OS_SLOT (see SlotRegistration.h), so a new slot is a new file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/module/ModuleInterface.h"
#include "common/module/SystemCalls.h"

namespace vantor::os {

// The libraries the stand-in provides.
enum class Library : uint8_t { System, Ui, HostControl, CardSlot, Zdim };
constexpr int kLibraryCount = 5;

// The ticks of the stand-in OS: one tick is one millisecond.
constexpr uint16_t kTicksPerSecond = 1000;

// Status codes of the stand-in's slots.
constexpr uint16_t memErrChunkLocked = 0x0101;
constexpr uint16_t memErrNotEnoughSpace = 0x0102;
constexpr uint16_t memErrInvalidParam = 0x0103;
constexpr uint16_t memErrChunkNotLocked = 0x0104;
constexpr uint16_t dmErrWriteOutOfBounds = 0x0206;
constexpr uint16_t dmErrNotValidRecord = 0x0209;
constexpr uint16_t dmErrCantFind = 0x0207;
constexpr uint16_t sysErrLibNotFound = 0x050A;
constexpr uint16_t sysErrParamErr = 0x0502;
constexpr uint16_t sysErrNoFreeResource = 0x0503;
constexpr uint16_t ftrErrNoSuchFeature = 0x0C02;

// Heap ids of the memory manager.
constexpr uint16_t kDynamicHeapID = 0;
constexpr uint16_t kStorageHeapID = 1;

// The tables.
SystemDispatchTable SystemTable();

// A call of system slot `number` through the table the OS hands out, as a function of signature Sig.
template <typename Sig, typename... A>
auto OsCall(uint16_t number, A... args) {
    return reinterpret_cast<Sig*>(SystemTable()[number])(args...);
}
ModuleProc* LibraryTable(Library library);
uint16_t LibrarySlotCount(Library library);
const char* LibraryName(Library library);

// One call of a slot without behaviour of its own: the library, the slot and the first argument
// words as the caller pushed them (words past the caller's arguments are whatever lay there).
struct SlotCall {
    Library library;
    uint16_t slot;
    uint32_t args[10];
};
std::string Describe(const SlotCall& call);

// --- Test API ---------------------------------------------------------------------------------

// Puts every table entry back to its built-in behaviour and forgets scripts, callbacks, the call
// log, traces, error reports, bind records, features, events and databases; the heaps keep their
// chunks. Restores the default unexpected-call handler.
void Reset();

// The slot answers `result` to every call (the call is logged).
void ScriptResult(Library library, uint16_t slot, uint32_t result);
// The slot runs `callback` for every call (the call is logged) and answers its result.
void OnCall(Library library, uint16_t slot, std::function<uint32_t(const SlotCall&)> callback);
// Replaces the table entry by a function of the slot's own signature.
void InstallEntry(Library library, uint16_t slot, ModuleProc entry);

// Calls logged so far, in order (thread-safe), and the calls of one slot.
std::vector<SlotCall> Calls();
std::vector<SlotCall> CallsOf(Library library, uint16_t slot);
void ClearCalls();

// Called for a slot that has no behaviour, script or callback. The default prints the call and
// aborts; a test installs one that fails the test.
void SetUnexpectedCallHandler(std::function<void(const SlotCall&)> handler);

// Trace lines (slots 278, 277), OS messages (slot 61) and error reports (slot 159). With capture
// off (the default) they are also written to standard error.
struct ErrorReport {
    std::string file;
    uint16_t line;
    std::string message;
};
void CaptureOutput(bool capture);
std::vector<std::string> TraceLines();
std::vector<ErrorReport> ErrorReports();

// --- Modules and libraries --------------------------------------------------------------------

// One call of the binder (slot 543).
struct BindRecord {
    uint32_t type;
    uint32_t creator;
    uint32_t refNum;
    bool bound;
};
std::vector<BindRecord> BindRecords();

// Makes a module that the caller opened with dlopen bindable by its type and creator (from its
// __ExportModuleInfo). Registering Kez ('rsrc'/'pkez') also makes OS tasks run on Kez's tasks.
bool RegisterModule(void* dlHandle);
// Makes a module that Kez's loader loaded bindable: binds go through Kez's RALImportModule.
void RegisterLoadedModule(uint32_t type, uint32_t creator, uint32_t refNum);
// The export table of a module that Kez's loader loaded and RegisterLoadedModule offered, imported
// by the OS itself, and its reference number; null when there is none.
ModuleProc* LoadedModuleTable(uint32_t type, uint32_t creator, uint32_t* kezRefNum);
// The export table of a registered module of that type and creator, whichever way it was
// registered (a Kez-loaded module is imported by the OS itself); null when there is none.
ModuleProc* ModuleTableOf(uint32_t type, uint32_t creator);
// The creators of the registered modules of a type, in registration order.
std::vector<uint32_t> ModuleCreatorsOfType(uint32_t type);
// Runs the named 68K application database through Morvel (loaded by Kez's loader), as the OS's
// launcher does: answers the application's result, 0 when it cannot run.
uint32_t LaunchApplication(const char* name);
// Morvel's module entry for a program that links the 68K environment in instead of having Kez's
// loader load it; the launch of a 68K plug-in (system slot 498) uses it.
void SetEmulatorEntry(ModuleEntryPointProc entry);
// Makes an arbitrary table bindable (tests).
void RegisterTable(uint32_t type, uint32_t creator, ModuleProc* table, uint32_t slotCount);
void UnregisterModule(uint32_t type, uint32_t creator);
// Kez's export table once Kez is registered, else null.
ModuleProc* KezTable();

// --- State that tests inspect -----------------------------------------------------------------

struct ChunkInfo {
    uint16_t heapID;
    uint32_t size;
    uint16_t owner;
    uint16_t lockCount;
    bool movable;  // a handle's chunk
};
// The chunk that starts at `p`, if any.
bool GetChunkInfo(const void* p, ChunkInfo* info);
// The number of chunks in use in a heap.
uint32_t ChunkCount(uint16_t heapID);
// Bytes from p to the end of the heap that holds it, 0 outside the heaps.
uint32_t HeapAreaSize(const void* p);
// Lets code write the storage heap directly (as a debugger writes breakpoints into code), or
// protects it again.
bool StorageSetWritable(bool writable);

// Adds a database to the in-memory store and answers its id.
uint32_t AddDatabase(const char* name, uint32_t type, uint32_t creator, uint16_t version);
// The OS's create-database-from-image service: a database of the image's name, type, creator,
// version and attributes in the store. 0x0219 when a RAM database of that name exists, 0x0209
// for an image without a header and a terminated name.
uint16_t CreateDatabaseFromImage(const void* image, uint32_t size, uint32_t* dbID);
// The status-bar layout that system slot 173 answers (empty at start; Reset keeps it).
void SetStatusBarLayout(const std::vector<StatusBarLayoutEntry>& entries);
// The host folders mounted as volumes through the card-slot library (slot 19), by reference.
std::map<uint16_t, std::string> MountedHostVolumes();
// The desktop sync log that system slot 65 answers (empty at start).
void SetSyncLog(const std::string& text);
// How often the event loop was woken (system slot 186), and the database of the last application
// switch (574).
uint32_t EventLoopWakeups();
uint32_t LastAppSwitch();
// How many references to a database are open (found and not yet closed).
int OpenReferences(uint32_t dbID);

// Starts a task made by slot 569 while Kez is not registered (the task waits for it).
bool StartTask(uint32_t taskID, uint32_t argument);

// Events queued through slot 517 and not yet taken by slot 521.
size_t PendingEvents();

// --- The OS main that Kez runs on its 'main' task --------------------------------------------

// What the stand-in OS main does besides booting: it registers handlers for pen, key and alarm
// events (queued as OS events), sets init stages 2 and 5, marks the storage as formatted and
// counts boots in it (word 1), draws a test picture, then takes events until the shutdown key, sets
// stage 7 and returns.
struct OsMainOptions {
    uint32_t quitAfterMs = 0;       // asks Kez to quit (slot 207) after this long; 0 never
    bool holdBeforeStage5 = false;  // never reaches stage 5 (an unfinished start)
    int resetOnFirstBoot = 0;       // 1 soft, 2 hard: asks Kez for that reset on the first boot
    bool drawTestPicture = true;    // a picture drawn through the drawing slots once the OS is up
    std::string launchApp;          // the application database the OS runs once up (LaunchApplication)
    uint16_t autoOffSeconds = 0;    // the auto-off time the OS sets (0: none)
};
void SetOsMainOptions(const OsMainOptions& options);
// The function kez-host installs with PrvKezInstallVantorOSMain.
void StandinOsMain(uint8_t hardReset);

// The OS events the OS main received from Kez's handlers, in order (type and the first data
// word: the character of a key event).
struct OsMainEvent {
    uint16_t type;
    int16_t x, y;
    uint16_t character, keyCode, modifiers;
};
std::vector<OsMainEvent> OsMainEvents();

// OS event types the OS main posts.
constexpr uint16_t kPenDownEvent = 1, kPenUpEvent = 2, kKeyDownEvent = 4, kAlarmEvent = 0x0800;
// The key character that asks the OS to shut down (Kez sends it on a quit request).
constexpr uint16_t kShutdownCharacter = 0x0140;
// While an application runs, the shutdown key reaches it as an application-stop event and is held
// back; it is queued again when the application has ended (SetApplicationRunning(false)).
void SetApplicationRunning(bool running);

}  // namespace vantor::os
