// The sym command: symbol files assigned to code on the device, their dump, and source-level steps.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/BigEndian.h"
#include "common/DebuggerPackets.h"
#include "quillwatch/engine/debugger/FileCommands.h"
#include "quillwatch/engine/debugger/HandlerSupport.h"
#include "quillwatch/engine/debugger/RunControl.h"
#include "quillwatch/engine/debugger/SymbolFiles.h"
#include "quillwatch/engine/lang/Evaluator.h"
#include "quillwatch/engine/shell/Shell.h"
#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

constexpr const char* kRefuseAttached = "\nSorry, this command may not be executed while the debugger is attached.\n\n";

void PrvUseSymbolFile(DbgContextType* ctx, const std::string& path, uint32_t code, uint32_t data) {
    DbgPrintf(ctx, "\nUsing symbol file: %s\n", path.c_str());
    SymFileAdd(ctx, CmdHostPath(path).c_str(), code, data);
    if (ctx->attached) {
        SymSource s;
        if (SymFindSrc(ctx, ctx->regs.pc, &s) == 0 && gDbgSourceHooks.showLine)
            gDbgSourceHooks.showLine(s.file.c_str(), s.line);
    }
}

// <dbName>.<resType>.<resID>.sym, read from the end.
bool PrvParseSymbolFileName(const std::string& path, std::string* db, std::string* type, uint16_t* id) {
    const size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".sym") != 0) return false;
    name.resize(name.size() - 4);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 == name.size()) return false;
    const std::string idText = name.substr(dot + 1);
    if (idText.find_first_not_of("0123456789") != std::string::npos || idText.size() > 5) return false;
    const unsigned long value = std::stoul(idText);
    if (value > 0xFFFF) return false;
    *id = static_cast<uint16_t>(value);
    name.resize(dot);
    dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 > 4 || name.size() - dot - 1 == 0) return false;
    *type = name.substr(dot + 1);
    name.resize(dot);
    if (name.empty() || name.size() >= 32) return false;
    *db = name;
    return true;
}

uint16_t PrvSymAdd(DbgContextType* ctx) {
    uint32_t pc = 0;
    bool withPC = false;
    uint16_t next = 2;
    if (CmdArgNumber(DbgEvalArg(ctx, 2), &pc)) {
        withPC = true;
        next = 3;
    } else if (ctx->attached) {
        pc = ctx->regs.pc;
        withPC = true;
    }
    const char* fileArg = CmdArgString(DbgEvalArg(ctx, next));
    std::string file = fileArg ? fileArg : "";
    if (withPC) {
        DbgPrintf(ctx, "\nLocating database and code resource that contains\n address (0x%08X)...", pc);
        ShellChunkOwner owner;
        const uint32_t err = PrvFindResourceTry(pc, &owner);
        if (err || !owner.chunkFound) {
            DbgPrintf(ctx, "\nERROR: 0x%02X: Could not identify the memory chunk \nthat contains the code at: %08X\n",
                      err, pc);
            return 1;
        }
        if (owner.kind == ShellChunkOwner::None) {
            DbgPrintf(ctx, "\nERROR: Could not identify database that owns\n the chunk at %08X where the code is",
                      owner.chunk);
            return 1;
        }
        if (owner.kind != ShellChunkOwner::Resource) {
            DbgPrintf(ctx,
                      "\nERROR: Could not identify resource in \n \"%s\" that contains the chunk at %08X where the "
                      "\ncode is",
                      owner.database, owner.chunk);
            return 1;
        }
        char type[5];
        ShellTypeToText(type, owner.resType);
        DbgPrintf(ctx,
                  "\nNOTE: The given code address is 0x%X bytes\ninto the '%s' #%d resource of the \"%s\" database "
                  "at 0x%x\nSelect symbol file for this resource....\n",
                  pc - owner.chunk, type, owner.resId, owner.database, owner.chunk);
        if (file.empty()) {
            char title[128], path[1024] = {};
            std::snprintf(title, sizeof title, "Select symbol file for \"%s.%s.%d\"...", owner.database, type,
                          owner.resId);
            if (HostSelectSymbolFile(ctx->console, title, path, sizeof path) != 0) return 1;
            file = path;
        }
        PrvUseSymbolFile(ctx, file, owner.chunk, ctx->regs.a[4]);
        return 0;
    }
    if (file.empty()) {
        char path[1024] = {};
        if (HostSelectSymbolFile(ctx->console, "Select symbol file to use...", path, sizeof path) != 0) return 1;
        file = path;
    }
    std::string db, type;
    uint16_t id;
    if (!PrvParseSymbolFileName(file, &db, &type, &id)) {
        DbgPrint(ctx,
                 "Error: Symbol files must have names formatted like this:\n   <dbName>.<resType>.<resID>.sym (Ex. "
                 "\"Phone.code.1.sym\")\n");
        return 1;
    }
    char typeText[5] = "    ";
    std::memcpy(typeText, type.data(), type.size());
    uint32_t resource = 0;
    const uint32_t err = ShellLocateResourceTry(db.c_str(), vantor::ReadBE32(typeText), id, &resource);
    if (err) {
        DbgPrintf(ctx, "\nERROR: 0x%02X: Could not locate resource %s=%d \nof database '%s'", err, type.c_str(), id,
                  db.c_str());
        return 1;
    }
    PrvUseSymbolFile(ctx, file, resource, 0);
    return 0;
}

uint16_t PrvSymAddVrx(DbgContextType* ctx) {
    const char* arg = CmdArgString(DbgEvalArg(ctx, 2));
    std::string file = arg ? arg : "";
    if (file.empty()) {
        char path[1024] = {};
        if (HostSelectDatabaseFile(ctx->console, "Select VRX file...", path, sizeof path) != 0) return 1;
        file = path;
    }
    uint8_t header[78];
    FILE* f = std::fopen(CmdHostPath(file).c_str(), "rb");
    const bool ok = f && std::fread(header, 1, sizeof header, f) == sizeof header;
    if (f) std::fclose(f);
    if (!ok) {
        DbgPrintf(ctx, "Error: Can't read VRX file: %s\n", file.c_str());
        return 1;
    }
    vantor::SwapDatabaseHeader(header);
    char name[33] = {};
    std::memcpy(name, header, 32);
    uint32_t type;
    std::memcpy(&type, header + 60, 4);
    const char* pattern = type == 0x6170706C ? "%s.code.1.sym"    // 'appl'
                          : type == 0x6578746E ? "%s.extn.0.sym"  // 'extn'
                          : type == 0x6C696272 ? "%s.libr.0.sym"  // 'libr'
                                               : "%s.code.1.sym";
    char symName[64];
    std::snprintf(symName, sizeof symName, pattern, name);
    const size_t slash = file.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    const std::string symPath = folder + symName;
    std::string db, typeText;
    uint16_t id;
    if (!PrvParseSymbolFileName(symPath, &db, &typeText, &id)) return 1;
    char code[5] = "    ";
    std::memcpy(code, typeText.data(), typeText.size());
    uint32_t resource = 0;
    const uint32_t err = ShellLocateResourceTry(db.c_str(), vantor::ReadBE32(code), id, &resource);
    if (err) {
        DbgPrintf(ctx, "\nERROR: 0x%02X: Could not locate resource %s=%d \nof database '%s'", err, typeText.c_str(), id,
                  db.c_str());
        return 1;
    }
    PrvUseSymbolFile(ctx, symPath, resource, 0);
    return 0;
}

}  // namespace

uint16_t CmdDoSymbolsCmd(DbgContextType* ctx) {
    static constexpr CommandText kText{"Set/Display source level debugging symbol info", "Syntax: %s [options...]"};
    const uint16_t id = CmdCommandId(ctx);
    if (CmdAnswerHelp(ctx, id, kText)) return 0;
    const char* option = CmdArgFlags(DbgEvalArg(ctx, 1));
    if (!option) {
        CmdPrintSyntax(ctx, id, kText);
        return 1;
    }
    const std::string o = option;
    if (o == "add") return PrvSymAdd(ctx);
    if (o == "addf") {
        uint32_t code, data;
        const char* file = CmdArgString(DbgEvalArg(ctx, 4));
        if (!CmdArgNumber(DbgEvalArg(ctx, 2), &code) || !CmdArgNumber(DbgEvalArg(ctx, 3), &data) || !file) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        PrvUseSymbolFile(ctx, file, code, data);
        return 0;
    }
    if (o == "addvrx") {
        if (ctx->attached) {
            DbgPrint(ctx, kRefuseAttached);
            return 1;
        }
        return PrvSymAddVrx(ctx);
    }
    if (o == "reset") {
        SymFileRemoveAll(ctx);
        return 0;
    }
    if (o == "dump" || o == "dumpCode") {
        SymDumpFiles(ctx, o == "dump");
        return 0;
    }
    if (o == "i") {
        uint32_t pc;
        if (!CmdArgNumber(DbgEvalArg(ctx, 2), &pc)) {
            CmdPrintSyntax(ctx, id, kText);
            return 1;
        }
        SymSource s;
        if (SymFindSrc(ctx, pc, &s) != 0) {
            DbgPrint(ctx, "Error: not found\n");
            return 1;
        }
        DbgPrintf(ctx, "%s : %s() + %08X : %d\n", s.file.c_str(), s.function.c_str(), s.offset, s.line);
        return 0;
    }
    if (o == "si" || o == "so") {
        if (!CmdRequireAttached(ctx)) return 1;
        SymSource s;
        if (SymFindSrc(ctx, ctx->regs.pc, &s) == 0) {
            ctx->sourceStepLine = s.line;
            ctx->sourceStepOver = o == "so" ? 1 : 0;
        }
        return o == "so" ? CmdStepOver(ctx, true) : CmdStepInto(ctx, true);
    }
    if (o == "line") {
        uint32_t address = 0;
        if (!gDbgSourceHooks.selectedLineAddress || !gDbgSourceHooks.selectedLineAddress(&address)) {
            DbgPrint(ctx, "Error: not found\n");
            return 1;
        }
        const char* how = CmdArgFlags(DbgEvalArg(ctx, 2));
        char line[64];
        if (how && std::strcmp(how, "gt") == 0) {
            std::snprintf(line, sizeof line, "gt %08X", address);
        } else if (how && std::strcmp(how, "il") == 0) {
            std::snprintf(line, sizeof line, "il %08X", address);
        } else {
            std::snprintf(line, sizeof line, "br %08X \\toggle", address);
        }
        return DbgExecuteLine(ctx, line, 0);
    }
    CmdPrintSyntax(ctx, id, kText);
    return 1;
}

}  // namespace quillwatch
