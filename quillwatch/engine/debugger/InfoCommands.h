// Command handlers of help, the listings, aliases and variables, scripts, the function and library
// tables, the commands this debugger does not build in, and the shell commands of the Debugger window.
#pragma once

#include <cstdint>
#include <string>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

uint16_t CmdDoHelpCmd(DbgContextType* ctx);          // help
uint16_t CmdDoListCmd(DbgContextType* ctx);          // keywords, templates, variables, aliases, commands
uint16_t CmdDoAliasCmd(DbgContextType* ctx);         // alias
uint16_t CmdDoVarCmd(DbgContextType* ctx);           // var
uint16_t CmdDoRunScriptCmd(DbgContextType* ctx);     // run
uint16_t CmdDoNotEnabledCmd(DbgContextType* ctx);    // flash, checksum, lockStatus, eraseFlash, validate
uint16_t CmdDoRegisterTrapCmd(DbgContextType* ctx);  // atr
uint16_t CmdDoWhereCmd(DbgContextType* ctx);         // wh
uint16_t CmdDoLibrariesCmd(DbgContextType* ctx);     // lib
uint16_t CmdDoShellCmd(DbgContextType* ctx);         // CardInfo ... Opened, Performance, reset

// The evaluated line as shell text: numbers in hexadecimal or decimal. 1 for an unhandled entry.
uint16_t CmdConvertArgsToTestCodeFormat(DbgContextType* ctx, bool hex, std::string* line);
// Runs the evaluated line as a device shell command with its output in the Debugger window.
uint16_t CmdRunShellCommand(DbgContextType* ctx, bool hex);

}  // namespace quillwatch
