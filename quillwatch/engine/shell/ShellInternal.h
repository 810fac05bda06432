// What the shell's command groups share: the handler type, the refusal while attached, argument
// readers and the host paths of device files.
#pragma once

#include <cstdint>
#include <string>

#include "quillwatch/engine/shell/Shell.h"

namespace quillwatch {

using ShellHandler = void (*)(int argc, char** argv);

struct ShellCmdEntryType {
    const char* name;
    const char* alias;
    ShellHandler handler;  // none: a section heading
};

// Word 1 is "?".
bool ShellWantsHelp(int argc, char** argv);
// Prints the refusal and returns true while the debugger is attached.
bool ShellRefuseAttached();
// Number readers: the whole word must be a number.
bool ShellDecimal(const char* word, long* value);
bool ShellHex(const char* word, uint32_t* value);
// Four characters packed with the first in the high byte (shorter texts are padded with blanks).
bool ShellFourCC(const char* word, uint32_t* value);
// Throws a non-zero OS error through the error manager.
void ShellCheck(uint16_t err);
// A host path below the device folder, with "/" as the separator.
std::string ShellHostPath(const std::string& path);

// The handlers of each group, in ShellCommands*.cpp.
void ShellCmdHeapList(int, char**);
void ShellCmdHeapDump(int, char**);
void ShellCmdHeapTotal(int, char**);
void ShellCmdHeapCompact(int, char**);
void ShellCmdHeapCheck(int, char**);
void ShellCmdHeapScramble(int, char**);
void ShellCmdHeapFill(int, char**);
void ShellCmdNew(int, char**);
void ShellCmdFree(int, char**);
void ShellCmdLock(int, char**);
void ShellCmdUnlock(int, char**);
void ShellCmdInfo(int, char**);
void ShellCmdResize(int, char**);
void ShellCmdSetOwner(int, char**);
void ShellCmdImport(int, char**);
void ShellCmdImportAll(int, char**);
void ShellCmdExport(int, char**);
void ShellCmdExportAll(int, char**);
void ShellCmdCreate(int, char**);
void ShellCmdDelete(int, char**);
void ShellCmdDir(int, char**);
void ShellCmdOpen(int, char**);
void ShellCmdClose(int, char**);
void ShellCmdOpened(int, char**);
void ShellCmdSetInfo(int, char**);
void ShellCmdAttachRecord(int, char**);
void ShellCmdDetachRecord(int, char**);
void ShellCmdAddRecord(int, char**);
void ShellCmdDelRecord(int, char**);
void ShellCmdChangeRecord(int, char**);
void ShellCmdListRecords(int, char**);
void ShellCmdSetRecordInfo(int, char**);
void ShellCmdMoveRecord(int, char**);
void ShellCmdFindRecord(int, char**);
void ShellCmdGetResource(int, char**);
void ShellCmdListResources(int, char**);
void ShellCmdSetResourceInfo(int, char**);
void ShellCmdAddResource(int, char**);
void ShellCmdDelResource(int, char**);
void ShellCmdChangeResource(int, char**);
void ShellCmdCardInfo(int, char**);
void ShellCmdStoreInfo(int, char**);
void ShellCmdReset(int, char**);
void ShellCmdColdBoot(int, char**);
void ShellCmdPowerOn(int, char**);
void ShellCmdPing(int, char**);
void ShellCmdFeature(int, char**);
void ShellCmdKernelInfo(int, char**);
void ShellCmdDisplayMem(int, char**);
void ShellCmdSetByte(int, char**);
void ShellCmdMemDebug(int, char**);
void ShellCmdGdb(int, char**);
void ShellCmdSimSync(int, char**);
void ShellCmdAlarmDump(int, char**);
void ShellCmdLog(int, char**);
void ShellCmdHobgob(int, char**);
void ShellCmdHobgobOff(int, char**);

// Walks a heap: mode 0 checks, 1 adds the heading and summary, 2 a line per chunk. True when sound.
bool ShellHeapDump(uint16_t heapId, int mode, uint32_t start, bool checkContents, bool labels);

}  // namespace quillwatch
