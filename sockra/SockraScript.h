// Login scripts: the script reader, the run over a serial port and the plug-in selector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/Status.h"

namespace sockra {
using vantor::Status;

// The caller's callbacks of a run.
using ScriptStatusProc = Status (*)(void* context, uint32_t zero, uint16_t step, const char* text);
using ScriptCancelProc = uint8_t (*)(void* context);
// Substitution: answers into `value` (64 bytes) the text for `word`; `extra` is the response
// template of a prompt-and-send step and null otherwise.
using ScriptSubstProc = Status (*)(void* context, const char* word, char* value, const char* extra);
using ScriptProcProc = Status (*)(void* context, uint32_t procAddr);

// The same callbacks for callers whose functions take a 32-bit caller value first.
using ScriptStatusFn = Status (*)(uint32_t value, uint32_t zero, uint16_t step, const char* text);
using ScriptCancelFn = uint8_t (*)(uint32_t value);
using ScriptSubstFn = Status (*)(uint32_t value, const char* word, char* value2, const char* extra);

// Where a run reads its interface settings (the login script, user ids, passwords, the command
// time-out) and stores the address it reads: SockraIFSettingGet and SockraIFSettingSet.
using ScriptIFSettingGet = Status (*)(uint32_t creator, uint16_t instance, uint16_t setting, void* valueP,
                                      uint16_t* valueLenP);
using ScriptIFSettingSet = Status (*)(uint32_t creator, uint16_t instance, uint16_t setting, const void* valueP,
                                      uint16_t valueLen);

// Command kinds.
enum ScriptCmdKind : uint32_t {
    kScriptEnd = 0,
    kScriptSend = 1,
    kScriptWait = 2,
    kScriptDelay = 3,
    kScriptDataBits = 4,
    kScriptParity = 5,
    kScriptGetIP = 6,
    kScriptAnswer = 8,
    kScriptCallerText = 9,
    kScriptPromptSend = 10,
    kScriptPlugin = 11,
};

constexpr size_t kScriptTextMax = 63;  // characters of a display or send text

// One command as the reader fills it.
struct SockraScriptCmd {
    uint32_t kind;
    char display[kScriptTextMax + 1];
    char send[kScriptTextMax + 1];
    uint16_t sendLen;  // the send text may hold NULs (^@)
    uint32_t value;    // seconds, data bits, parity letter or time-out
    char pluginName[16];
    char pluginArg[16];
};

// The reader's position in a script and what the escapes need.
struct SockraScriptReader {
    const uint8_t* script;
    size_t length;  // the reader never looks at or past script[length]
    size_t pos;
    uint32_t creator;
    uint16_t instance;
    ScriptIFSettingGet settingGet;
    void* context;
    ScriptSubstProc subst;
};

// Reads the next command: kind 0 at the script's end; 0x1220 for an unknown letter, an argument
// without its NUL or a bad value; an error of a substitution ends the command with that error.
Status SockraScriptNextCmd(SockraScriptReader* r, SockraScriptCmd* cmd);

// A whole run with the given settings source (the exports use the interface settings).
Status SockraScriptRun(uint32_t creator, uint16_t instance, uint16_t serialPort, void* context,
                       ScriptStatusProc status, ScriptCancelProc cancel, ScriptSubstProc subst,
                       ScriptIFSettingGet settingGet, ScriptIFSettingSet settingSet);

// The run handle a plug-in receives (40 bytes) and its parameter block (88 bytes).
struct SockraScriptHandle {
    uint16_t serialPort;
    uint16_t instance;
    uint32_t creator;
    void* context;
    void* globals;
    ScriptStatusProc status;
    ScriptCancelProc cancel;
    ScriptSubstProc subst;
    ScriptProcProc proc;
    uint32_t timeout;  // command time-out in milliseconds, 0 for none
    char* log;         // exchange log, 512 bytes, or null
};
static_assert(sizeof(SockraScriptHandle) == 40);

using ScriptPluginSelectorProc = Status (*)(SockraScriptHandle* h, uint16_t selector, void* bufferP, uint16_t* sizeP,
                                            uint16_t* timeoutP, uint32_t procAddr);
struct SockraScriptPluginParams {
    char arg[16];
    char send[64];
    SockraScriptHandle* handle;
    ScriptPluginSelectorProc selector;  // how the plug-in calls back into the run
};
static_assert(sizeof(SockraScriptPluginParams) == 88);

constexpr uint32_t kScriptPluginType = 0x73637074;  // 'scpt'
constexpr uint16_t kScriptPluginLaunchCode = 0x8002;
constexpr Status netErrScriptSelector = 0x1283;

Status ScriptPluginSelector(SockraScriptHandle* h, uint16_t selector, void* bufferP, uint16_t* sizeP,
                            uint16_t* timeoutP, uint32_t procAddr);

// 68K plug-ins: true when the plug-in's database holds 68K code ('code' 1) and the 68K environment
// runs; the 68K address of a thunk through which 68K code calls the selector (0 when none could be
// made), and the release of that thunk once the plug-in has run.
bool ScriptPluginIs68K(uint32_t dbID);
// Whether `h` is the run handle of a plug-in running now: a 68K plug-in's handle argument is taken
// only then.
bool ScriptHandleLive(const SockraScriptHandle* h);
uint32_t ScriptSelectorThunk68K();
void ScriptSelectorThunkRelease68K();

}  // namespace sockra

extern "C" {
vantor::Status SockraScriptExecute(uint32_t creator, uint16_t instance, uint16_t serialPort, void* context,
                                   sockra::ScriptStatusProc status, sockra::ScriptCancelProc cancel,
                                   sockra::ScriptSubstProc subst);
vantor::Status SockraScriptExecuteDefault(uint32_t creator, uint16_t instance, uint16_t serialPort, uint32_t value,
                                          sockra::ScriptStatusFn status, sockra::ScriptCancelFn cancel,
                                          sockra::ScriptSubstFn subst);
}
