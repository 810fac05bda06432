// Database, record and resource commands of the shell.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/BigEndian.h"
#include "quillwatch/engine/shell/ImportExport.h"
#include "quillwatch/engine/shell/ShellInternal.h"
#include "quillwatch/link/ErrorMgr.h"
#include "quillwatch/link/HostShims.h"
#include "quillwatch/link/RemoteMemory.h"
#include "quillwatch/link/RemoteStubs.h"

namespace quillwatch {

namespace {

void PrvLines(std::initializer_list<const char*> lines, const char* command) {
    bool first = true;
    for (const char* l : lines) {
        if (first && std::strstr(l, "%s")) {
            ShellPrintf(l, command);
        } else {
            ShellPrintf("%s", l);
        }
        first = false;
    }
}

bool PrvCardArg(const char* word, uint16_t* card) {
    long v;
    if (!ShellDecimal(word, &v) || v < 0 || v > 0xFFFF) return false;
    *card = static_cast<uint16_t>(v);
    return true;
}

bool PrvIndexArg(const char* word, uint16_t* index) {
    return PrvCardArg(word, index);
}

// Writes the text and its NUL into a locked chunk and unlocks it.
void PrvWriteText(uint32_t handle, const char* text) {
    const uint32_t p = MemHandleLock(handle);
    ShellCheck(DmStrCopy(p, 0, text));
    MemPtrUnlock(p);
}

}  // namespace

// ---- databases ----

void ShellCmdImport(int argc, char** argv) {
    const bool all = ShellStrCaseCompare(argv[0], "Importall") == 0;
    auto syntax = [&] {
        ShellPrintf(all ? "\nSyntax: %s [options] <cardNo> <directory name> " : "\nSyntax: %s [options] <cardNo> <filename> ",
                    argv[0]);
        ShellPrintf("\n         -r   : Import from Mac Resource File");
        ShellPrintf("\n         -u   : Create new unique IDs");
        ShellPrintf("\n         -d   : Update creation and modification dates");
        ShellPrintf("\n");
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf(all ? "\nImport all databases." : "\nImport a Database.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    bool keepIds = true, keepDates = true, haveCard = false;
    uint16_t card = 0;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-u") == 0) keepIds = false;
        else if (std::strcmp(argv[i], "-d") == 0) keepDates = false;
        else if (std::strcmp(argv[i], "-r") == 0) continue;
        else if (!haveCard) {
            if (!PrvCardArg(argv[i], &card)) {
                syntax();
                return;
            }
            haveCard = true;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (!haveCard || files.empty() || (all && files.size() != 1)) {
        syntax();
        return;
    }
    if (!all) {
        for (const char* f : files) {
            ShellPrintf("\n%s", f);
            ShellImportDatabase(card, f, keepIds, keepDates, true);
        }
        return;
    }
    for (const std::string& name : ShellListDirectory(files[0])) {
        ShellImportDatabase(card, (std::string(files[0]) + "\\" + name).c_str(), keepIds, keepDates, true);
    }
}

void ShellCmdImportAll(int argc, char** argv) {
    ShellCmdImport(argc, argv);
}

void ShellCmdExport(int argc, char** argv) {
    auto syntax = [&] {
        ShellPrintf("\nSyntax: %s [-m] <cardNo> <filename> [<filename> ...] ", argv[0]);
        ShellPrintf("\n         -m   : Export as Macintosh resource file");
        ShellPrintf("\n");
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nExport Database(s).");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    bool haveCard = false;
    uint16_t card = 0;
    std::vector<const char*> names;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-m") == 0) continue;
        if (!haveCard) {
            if (!PrvCardArg(argv[i], &card)) {
                syntax();
                return;
            }
            haveCard = true;
        } else {
            names.push_back(argv[i]);
        }
    }
    if (!haveCard || names.empty()) {
        syntax();
        return;
    }
    for (const char* n : names) {
        ShellPrintf("\n%s", n);
        ShellExportDatabaseByName(card, n);
        ShellPrintf("\nSuccess!!\n");
    }
}

void ShellCmdExportAll(int argc, char** argv) {
    uint16_t card;
    if (ShellWantsHelp(argc, argv) || argc != 3 || !PrvCardArg(argv[1], &card)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nExport all databases.");
        ShellPrintf("\nSyntax: %s <cardNo> <directory name>", argv[0]);
        ShellPrintf("\n");
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellMakeDirectory(argv[2]);
    const uint16_t count = DmNumDatabases(card);
    for (uint16_t i = 0; i < count; ++i) {
        const uint32_t id = DmGetDatabase(card, i);
        if (!id) continue;
        char name[33] = {};
        if (DmDatabaseInfo(card, id, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr) != 0)
            continue;
        if (MemLocalIDKind(id) != 1) continue;  // databases in ROM stay
        ShellPrintf("\n%s", name);
        ShellExportDatabase(card, name, (std::string(argv[2]) + "\\" + ShellSafeFileName(name)).c_str());
    }
    ShellPrintf("\nSuccess!!\n");
}

void ShellCmdCreate(int argc, char** argv) {
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <cardNo> <name> [options...] ", "\n         -t <type>    : Database type, 4 characters ",
                  "\n         -c <creator> : Database creator, 4 characters \n", "\n         -v <version> : Database version \n",
                  "\n         -r           : Resource Database\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nCreate a Database.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t card;
    if (argc < 3 || !PrvCardArg(argv[1], &card)) {
        syntax();
        return;
    }
    uint32_t type = 0x44415441, creator = 0x3F3F3F3F;  // 'DATA', '????'
    long version = 0;
    bool resource = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc && ShellFourCC(argv[i + 1], &type)) ++i;
        else if (std::strcmp(argv[i], "-c") == 0 && i + 1 < argc && ShellFourCC(argv[i + 1], &creator)) ++i;
        else if (std::strcmp(argv[i], "-v") == 0 && i + 1 < argc && ShellDecimal(argv[i + 1], &version)) ++i;
        else if (std::strcmp(argv[i], "-r") == 0) resource = true;
        else {
            syntax();
            return;
        }
    }
    char typeText[5], creatorText[5];
    ShellTypeToText(typeText, type);
    ShellTypeToText(creatorText, creator);
    ShellPrintf("\nCreating Database on card %d\n name: %s\n type %s, creator %s\n", card, argv[2], typeText,
                creatorText);
    Status err = DmCreateDatabase(card, argv[2], creator, type, resource ? 1 : 0);
    if (!err) {
        if (uint32_t id = DmFindDatabase(card, argv[2])) {
            uint16_t v = static_cast<uint16_t>(version);
            err = DmSetDatabaseInfo(card, id, nullptr, nullptr, &v, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr);
        }
    }
    ShellPrintf(err ? "\n##ERROR Occurred\n" : "\nSuccess!\n");
}

void ShellCmdDelete(int argc, char** argv) {
    uint16_t card;
    if (ShellWantsHelp(argc, argv) || argc != 3 || !PrvCardArg(argv[1], &card)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nDelete a Database.");
        ShellPrintf("\nSyntax: %s <cardNo> <databaseName> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    const uint32_t id = DmFindDatabase(card, argv[2]);
    if (!id) {
        ShellPrintf("\n## ERROR: Could not find database");
        return;
    }
    if (Status err = ShellDeleteDatabase(card, id)) {
        ShellPrintf("\n##ERROR: 0x%x Deleting database\n", err);
        return;
    }
    ShellPrintf("Success!\n");
}

void ShellCmdDir(int argc, char** argv) {
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <cardNo>|<searchOptions> [displayOptions]", "\n   <searchOptions>:",
                  "\n       -t       # search by type", "\n       -c       # search by creator",
                  "\n       -latest  # search for only latest version of each database", "\n   <displayOptions>:",
                  "\n       -a       # show all info for each database", "\n       -n       # show name",
                  "\n       -id      # show ChunkID", "\n       -s       # show size ",
                  "\n       -r       # show number of records ", "\n       -at      # show attributes",
                  "\n       -v       # show version", "\n       -d       # show dates",
                  "\n       -m       # show modification #", "\n       -i       # show info fields",
                  "\n       -tc      # show type & creator", "\n   Note: follow any option with - to turn it off\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nList the database directory.");
        syntax();
        return;
    }
    enum { kName, kId, kSize, kRecords, kAttr, kVersion, kDates, kModNum, kInfo, kTypeCreator, kColumns };
    bool on[kColumns] = {true, true, true, false, false, false, false, false, false, false};
    static const char* const kOptions[kColumns] = {"-n", "-id", "-s", "-r", "-at", "-v", "-d", "-m", "-i", "-tc"};
    bool haveCard = false, search = false, latest = false;
    uint16_t card = 0;
    uint32_t type = 0, creator = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string o = argv[i];
        bool matched = false;
        for (int c = 0; c < kColumns && !matched; ++c) {
            if (o == kOptions[c]) on[c] = matched = true;
            else if (o == std::string(kOptions[c]) + "-") {
                on[c] = false;
                matched = true;
            }
        }
        if (matched) continue;
        if (o == "-a") {
            for (bool& b : on) b = true;
        } else if (o == "-t" && i + 1 < argc && ShellFourCC(argv[i + 1], &type)) {
            search = true;
            ++i;
        } else if (o == "-c" && i + 1 < argc && ShellFourCC(argv[i + 1], &creator)) {
            search = true;
            ++i;
        } else if (o == "-latest") {
            latest = search = true;
        } else if (!haveCard && PrvCardArg(argv[i], &card)) {
            haveCard = true;
        } else {
            syntax();
            return;
        }
    }
    if (!haveCard && !search) {
        syntax();
        return;
    }
    std::string header;
    char piece[128];
    if (on[kName]) std::snprintf(piece, sizeof piece, "%-16s  ", "name"), header += piece;
    if (on[kId]) std::snprintf(piece, sizeof piece, "%8s  ", "ID"), header += piece;
    if (on[kSize]) std::snprintf(piece, sizeof piece, "%9s  %9s  ", "total", "data"), header += piece;
    if (on[kRecords]) std::snprintf(piece, sizeof piece, "%8s  ", "records"), header += piece;
    if (on[kAttr]) std::snprintf(piece, sizeof piece, "%8s  ", "attr"), header += piece;
    if (on[kVersion]) std::snprintf(piece, sizeof piece, "%8s  ", "version"), header += piece;
    if (on[kDates]) std::snprintf(piece, sizeof piece, "%8s  %8s  %8s  ", "crDate", "modDate", "bkUpDate"), header += piece;
    if (on[kModNum]) std::snprintf(piece, sizeof piece, "%8s  ", "mod #"), header += piece;
    if (on[kInfo]) std::snprintf(piece, sizeof piece, "%8s  %8s  ", "appInfo", "sortInfo"), header += piece;
    if (on[kTypeCreator]) std::snprintf(piece, sizeof piece, "%8s  %8s  ", "type", "creator"), header += piece;
    ShellPrintf("%s", header.c_str());

    int total = 0;
    auto row = [&](uint16_t c, uint32_t id) {
        char name[33] = {};
        uint16_t attr = 0, version = 0;
        uint32_t crDate = 0, modDate = 0, bckDate = 0, modNum = 0, appInfo = 0, sortInfo = 0, t = 0, cr = 0;
        if (DmDatabaseInfo(c, id, name, &attr, &version, &crDate, &modDate, &bckDate, &modNum, &appInfo, &sortInfo,
                           &t, &cr) != 0)
            return;
        uint32_t records = 0, totalBytes = 0, dataBytes = 0;
        DmDatabaseSize(c, id, &records, &totalBytes, &dataBytes);
        std::string line = "\n";
        if (on[kName]) std::snprintf(piece, sizeof piece, "%-16s  ", name), line += piece;
        if (on[kId]) std::snprintf(piece, sizeof piece, "%08X  ", id), line += piece;
        if (on[kSize])
            std::snprintf(piece, sizeof piece, "%3u.%03u Kb  %3u.%03u Kb  ", totalBytes / 1000, totalBytes % 1000,
                          dataBytes / 1000, dataBytes % 1000),
                line += piece;
        if (on[kRecords]) std::snprintf(piece, sizeof piece, "%8u  ", records), line += piece;
        if (on[kAttr]) std::snprintf(piece, sizeof piece, "    %04X  ", attr), line += piece;
        if (on[kVersion]) std::snprintf(piece, sizeof piece, "    %04X  ", version), line += piece;
        if (on[kDates]) std::snprintf(piece, sizeof piece, "%08X  %08X  %08X  ", crDate, modDate, bckDate), line += piece;
        if (on[kModNum]) std::snprintf(piece, sizeof piece, "%8u  ", modNum), line += piece;
        if (on[kInfo]) std::snprintf(piece, sizeof piece, "%08X  %08X  ", appInfo, sortInfo), line += piece;
        if (on[kTypeCreator]) {
            char tt[5], ct[5];
            ShellTypeToText(tt, t);
            ShellTypeToText(ct, cr);
            std::snprintf(piece, sizeof piece, "%8s  %8s  ", tt, ct);
            line += piece;
        }
        ShellPrintf("%s", line.c_str());
        ++total;
    };
    if (search) {
        uint8_t state[32] = {};
        for (bool first = true;; first = false) {
            uint16_t c = 0;
            uint32_t id = 0;
            if (DmGetNextDatabaseByTypeCreator(first ? 1 : 0, state, type, creator, latest ? 1 : 0, &c, &id) != 0) break;
            row(c, id);
        }
    } else {
        const uint16_t count = DmNumDatabases(card);
        for (uint16_t i = 0; i < count; ++i) {
            if (uint32_t id = DmGetDatabase(card, i)) row(card, id);
        }
    }
    ShellPrintf("\n----------------------------------------------------------------");
    ShellPrintf("\nTotal: %d\n", total);
}

void ShellCmdOpen(int argc, char** argv) {
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <cardNo> <name> [options...]", "\n         -r      # open read-only",
                  "\n         -p      # leave open\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nOpen a Database.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t mode = 3, card = 0;
    const char* name = nullptr;
    bool haveCard = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-r") == 0) mode &= static_cast<uint16_t>(~2);
        else if (std::strcmp(argv[i], "-p") == 0) mode |= 4;
        else if (!haveCard && PrvCardArg(argv[i], &card)) haveCard = true;
        else if (haveCard && !name) name = argv[i];
        else {
            syntax();
            return;
        }
    }
    if (!name) {
        syntax();
        return;
    }
    const uint32_t id = DmFindDatabase(card, name);
    if (!id) {
        ShellPrintf("\n##ERROR: database not found");
        return;
    }
    const uint32_t db = DmOpenDatabase(card, id, mode);
    if (!db) {
        ShellPrintf("\n##ERROR Opening database\n");
        return;
    }
    ShellPrintf("\nSuccess! Access Pointer = %08X\n", db);
}

void ShellCmdClose(int argc, char** argv) {
    uint32_t db;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !ShellHex(argv[1], &db)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nClose a Database.");
        ShellPrintf("\nSyntax: %s <access ptr>\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellPrintf(DmCloseDatabase(db) ? "\n##ERROR Closing database\n" : "Success!\n");
}

void ShellCmdOpened(int argc, char** argv) {
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nList all open databases.");
        ShellPrintf("\nSyntax: %s\n", argv[0]);
        return;
    }
    ShellPrintf("%-16s  %8s  %8s  %8s   %8s   %8s   %8s", "name", "resDB", "cardNum", "accessP", "ID", "openCnt", "mode");
    ShellPrintf("\n---------------------------------------------------------------------------");
    int total = 0;
    uint32_t db = 0;
    for (int guard = 0; guard < 10000; ++guard) {
        const uint32_t next = DmNextOpenDatabase(db);
        if (!next) break;
        if (next == db) {
            ShellPrintf("\nERROR! Database loop detected: accessP->next == accessP");
            break;
        }
        db = next;
        ++total;
        uint32_t id = 0;
        uint16_t openCount = 0, mode = 0, card = 0;
        uint8_t resDB = 0;
        char name[33] = {};
        if (DmOpenDatabaseInfo(db, &id, &openCount, &mode, &card, &resDB) != 0 ||
            DmDatabaseInfo(card, id, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr) != 0) {
            ShellPrintf("\n#ERROR getting info");
            continue;
        }
        ShellPrintf("\n%c%-16s  %8s  %8d  %08X   %08X   %8d       %04X", resDB ? '*' : ' ', name, resDB ? "yes" : "no",
                    card, db, id, openCount, mode);
    }
    ShellPrintf("\n----------------------------------------------");
    ShellPrintf("\nTotal: %d databases opened\n", total);
}

void ShellCmdSetInfo(int argc, char** argv) {
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <cardNo> <dbName>  [options...]", "\n   <options>:",
                  "\n       -v <version>       \t# set version", "\n       -m <modification #> \t# set modification number",
                  "\n       -n <name> \t\t\t\t# set name\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nSet info on a database");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t card;
    if (argc < 3 || !PrvCardArg(argv[1], &card)) {
        syntax();
        return;
    }
    long version = -1, modNum = -1;
    const char* newName = nullptr;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0 && i + 1 < argc && ShellDecimal(argv[i + 1], &version)) ++i;
        else if (std::strcmp(argv[i], "-m") == 0 && i + 1 < argc && ShellDecimal(argv[i + 1], &modNum)) ++i;
        else if (std::strcmp(argv[i], "-n") == 0 && i + 1 < argc) newName = argv[++i];
        else {
            syntax();
            return;
        }
    }
    const uint32_t id = DmFindDatabase(card, argv[2]);
    if (!id) {
        ShellPrintf("\n## ERROR: Could not find database");
        return;
    }
    char name[33] = {};
    if (DmDatabaseInfo(card, id, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) != 0) {
        ShellPrintf("\n## ERROR: Getting database Info");
        return;
    }
    uint16_t v = static_cast<uint16_t>(version);
    uint32_t m = static_cast<uint32_t>(modNum);
    if (DmSetDatabaseInfo(card, id, newName, nullptr, version >= 0 ? &v : nullptr, nullptr, nullptr, nullptr,
                          modNum >= 0 ? &m : nullptr, nullptr, nullptr, nullptr, nullptr) != 0) {
        ShellPrintf("\n## ERROR: Setting database Info");
        return;
    }
    ShellPrintf("Success!\n");
}

// ---- records ----

namespace {

bool PrvRecordArgs(int argc, char** argv, int want, uint32_t* db, uint16_t* index) {
    if (argc < want || !ShellHex(argv[1], db)) return false;
    return !index || PrvIndexArg(argv[2], index);
}

// The arguments of a command on one record or resource: the database and the index, then text when
// `withText`. Prints the help or the syntax when they do not fit, and refuses while attached.
bool PrvEntryCommand(int argc, char** argv, bool withText, const char* help, const char* syntax, uint32_t* db,
                     uint16_t* index) {
    bool fits = withText ? argc >= 4 : argc == 3;
    if (ShellWantsHelp(argc, argv) || !fits || !PrvRecordArgs(argc, argv, withText ? 4 : 3, db, index)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("%s", help);
        ShellPrintf(syntax, argv[0]);
        return false;
    }
    return !ShellRefuseAttached();
}

// The text of the words from `first` on, joined by blanks.
std::string PrvText(int argc, char** argv, int first) {
    std::string text;
    for (int i = first; i < argc; ++i) {
        if (i > first) text += ' ';
        text += argv[i];
    }
    return text;
}

}  // namespace

void ShellCmdAttachRecord(int argc, char** argv) {
    uint32_t db, handle;
    uint16_t index;
    bool replace = argc == 5 && std::strcmp(argv[4], "-r") == 0;
    if (ShellWantsHelp(argc, argv) || (argc != 4 && !replace) || !ShellHex(argv[1], &db) || !ShellHex(argv[2], &handle) ||
        !PrvIndexArg(argv[3], &index)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nAttach a record to a database.");
        ShellPrintf("\nSyntax: %s <access ptr> <record handle> <index> [options...]", argv[0]);
        ShellPrintf("\n       -r      # replace existing record\n");
        return;
    }
    if (ShellRefuseAttached()) return;
    uint32_t old = 0;
    if (DmAttachRecord(db, &index, handle, replace ? &old : nullptr) != 0) {
        ShellPrintf("\n##ERROR attaching to database\n");
        return;
    }
    ShellPrintf("\nhandle: %08X, index: %d, oldHandle: %08X", handle, index, old);
}

void ShellCmdDetachRecord(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (ShellWantsHelp(argc, argv) || argc != 3 || !PrvRecordArgs(argc, argv, 3, &db, &index)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nDetach a record from a database.");
        ShellPrintf("\nSyntax: %s <access ptr> <index> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    uint32_t old = 0;
    if (DmDetachRecord(db, index, &old) != 0) {
        ShellPrintf("\n##ERROR detaching from database\n");
        return;
    }
    ShellPrintf("Success: recordHandle = %08X\n", old);
}

void ShellCmdAddRecord(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (ShellWantsHelp(argc, argv) || argc < 4 || !PrvRecordArgs(argc, argv, 4, &db, &index)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nAdd a record to a database.");
        ShellPrintf("\nSyntax: %s <access ptr> <index> <record text>\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    const std::string text = PrvText(argc, argv, 3);
    const uint32_t h = DmNewRecord(db, &index, static_cast<uint32_t>(text.size() + 1));
    if (!h) {
        ShellPrintf("\n##ERROR adding record\n");
        return;
    }
    PrvWriteText(h, text.c_str());
    DmReleaseRecord(db, index, 1);
    ShellPrintf("\nSuccess: record index = %d\n", index);
}

void ShellCmdDelRecord(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (!PrvEntryCommand(argc, argv, false,
                         "\nDelete a record from a database.",
                         "\nSyntax: %s <access ptr> <index> \n", &db, &index))
        return;
    ShellPrintf(DmDeleteRecord(db, index) ? "\n## ERROR Occurred!\n" : "Success!\n");
}

void ShellCmdChangeRecord(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (!PrvEntryCommand(argc, argv, true,
                         "\nReplace a record in a database.",
                         "\nSyntax: %s <access ptr> <index> <record text>\n", &db, &index))
        return;
    const std::string text = PrvText(argc, argv, 3);
    const uint32_t h = DmResizeRecord(db, index, static_cast<uint32_t>(text.size() + 1));
    if (!h) {
        ShellPrintf("\n## ERROR Occurred!\n");
        return;
    }
    PrvWriteText(h, text.c_str());
    DmReleaseRecord(db, index, 1);
    ShellPrintf("Success!\n");
}

void ShellCmdListRecords(int argc, char** argv) {
    uint32_t db;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !ShellHex(argv[1], &db)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nList all records in a database.");
        ShellPrintf("\nSyntax: %s <access ptr> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellPrintf("%8s  %8s  %8s    %8s  %-8s", "index", "localID", "attr", "uniqueID", "data");
    ShellPrintf("\n-------------------------------------------------");
    const uint16_t count = DmNumRecords(db);
    for (uint16_t i = 0; i < count; ++i) {
        uint16_t attr = 0, card = 0, openCount, mode;
        uint32_t unique = 0, local = 0, id;
        uint8_t resDB;
        if (DmRecordInfo(db, i, &attr, &unique, &local) != 0 ||
            DmOpenDatabaseInfo(db, &id, &openCount, &mode, &card, &resDB) != 0) {
            ShellPrintf("\n##ERROR Occurred!\n");
            return;
        }
        ShellPrintf("\n%8d  %08X     %c%c%c%c %d    %06X   ", i, local, attr & 0x80 ? 'X' : 'x', attr & 0x40 ? 'D' : 'd',
                    attr & 0x20 ? 'B' : 'b', attr & 0x10 ? 'P' : 'p', attr & 0x0F, unique);
        if (!local) continue;
        const uint32_t p = MemLocalIDToLockedPtr(local, card);
        const uint32_t size = MemPtrSize(p);
        if (size) {
            std::vector<uint8_t> data(size);
            if (RemoteReadCached(data.data(), p, size) == 0) ShellPrintEscaped(data.data(), data.size());
        }
        MemPtrUnlock(p);
    }
    ShellPrintf("\n-------------------------------------------------");
    ShellPrintf("\nTotal: %d records\n", count);
}

void ShellCmdSetRecordInfo(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <access ptr> index [options...]", "\n      -a <hex attr>   # set attributes",
                  "\n      -u <uniqueID>   # set unique ID\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nSet info on a Database record.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    if (!PrvRecordArgs(argc, argv, 3, &db, &index)) {
        syntax();
        return;
    }
    uint32_t attr = 0, unique = 0;
    bool haveAttr = false, haveUnique = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "-a") == 0 && i + 1 < argc && ShellHex(argv[i + 1], &attr)) haveAttr = true, ++i;
        else if (std::strcmp(argv[i], "-u") == 0 && i + 1 < argc && ShellHex(argv[i + 1], &unique)) haveUnique = true, ++i;
        else {
            syntax();
            return;
        }
    }
    uint16_t a = static_cast<uint16_t>(attr);
    ShellPrintf(DmSetRecordInfo(db, index, haveAttr ? &a : nullptr, haveUnique ? &unique : nullptr)
                    ? "\n##ERROR Occurred\n"
                    : "Success!\n");
}

void ShellCmdMoveRecord(int argc, char** argv) {
    uint32_t db;
    uint16_t from, to;
    if (ShellWantsHelp(argc, argv) || argc != 4 || !PrvRecordArgs(argc, argv, 4, &db, &from) ||
        !PrvIndexArg(argv[3], &to)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nMove a record from one index to another.");
        ShellPrintf("\nSyntax: %s <access ptr> <from>  <to> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellPrintf(DmMoveRecord(db, from, to) ? "\n##ERROR Moving record\n" : "Success!\n");
}

void ShellCmdFindRecord(int argc, char** argv) {
    uint32_t db, unique;
    if (ShellWantsHelp(argc, argv) || argc != 3 || !ShellHex(argv[1], &db) || !ShellHex(argv[2], &unique)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nFind a record by unique 24-bit ID");
        ShellPrintf("\nSyntax: %s <access ptr> <24-bit id> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t index = 0;
    if (DmFindRecordByID(db, unique, &index) == 0) {
        ShellPrintf("\nRecord found at index %d\n", index);
    } else {
        ShellPrintf("\n##ERROR finding record\n");
    }
}

void ShellCmdSimSync(int argc, char** argv) {
    uint32_t db;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !ShellHex(argv[1], &db)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nSimulate a Sync on a database\n");
        ShellPrintf("Syntax: %s [access ptr]\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    uint16_t count = DmNumRecords(db);
    for (uint16_t i = 0; i < count;) {
        uint16_t attr = 0;
        ShellCheck(DmRecordInfo(db, i, &attr, nullptr, nullptr));
        if (attr & 0x80) {
            ShellCheck(DmRemoveRecord(db, i));
            --count;
            continue;
        }
        if (attr & 0x40) {
            uint16_t cleared = static_cast<uint16_t>(attr & ~0x40);
            ShellCheck(DmSetRecordInfo(db, i, &cleared, nullptr));
        }
        ++i;
    }
    ShellPrintf("\nSimulated Sync complete\n");
}

// ---- resources ----

void ShellCmdGetResource(int argc, char** argv) {
    uint32_t type = 0;
    long id = -1;
    bool haveType = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "-t") == 0 && ShellFourCC(argv[i + 1], &type)) haveType = true;
        else if (std::strcmp(argv[i], "-id") == 0 && ShellDecimal(argv[i + 1], &id)) continue;
        else id = -2;
    }
    if (ShellWantsHelp(argc, argv) || argc != 5 || !haveType || id < 0 || id > 0xFFFF) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nGet a Resource.");
        ShellPrintf("\nSyntax: %s -t <type> -id <id>\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    const uint32_t h = DmGetResource(type, static_cast<uint16_t>(id));
    if (!h) {
        ShellPrintf("\nResource Not Found\n");
        return;
    }
    ShellPrintf("\nFound at %08X: ", h);
    uint32_t size = MemHandleSize(h);
    if (size > 254) size = 254;
    const uint32_t p = MemHandleLock(h);
    char text[255] = {};
    RemoteReadCached(text, p, size);
    MemHandleUnlock(h);
    ShellPrintf("%s\n", text);
    DmReleaseResource(h);
}

void ShellCmdListResources(int argc, char** argv) {
    uint32_t db;
    if (ShellWantsHelp(argc, argv) || argc != 2 || !ShellHex(argv[1], &db)) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nList all resources in a database.");
        ShellPrintf("\nSyntax: %s <access ptr> \n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    ShellPrintf("%8s  %8s  %8s  %8s  %8s  %-8s", "index", "localID", "size", "type", "id", "data");
    ShellPrintf("\n-------------------------------------------------");
    const uint16_t count = DmNumResources(db);
    for (uint16_t i = 0; i < count; ++i) {
        uint32_t type = 0, local = 0;
        uint16_t id = 0;
        if (DmResourceInfo(db, i, &type, &id, &local) != 0) {
            ShellPrintf("\n##ERROR Occurred!\n");
            return;
        }
        uint32_t size = 0;
        if (uint32_t h = DmGetResourceIndex(db, i)) {
            size = MemHandleSize(h);
            DmReleaseResource(h);
        }
        char t[5];
        ShellTypeToText(t, type);
        ShellPrintf("\n%8d  %08X  %8X      '%s'  %8d  ", i, local, size, t, id);
    }
    ShellPrintf("\n-------------------------------------------------");
    ShellPrintf("\nTotal: %d resources\n", count);
}

void ShellCmdSetResourceInfo(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    auto syntax = [&] {
        PrvLines({"\nSyntax: %s <access ptr> <index> [options...]", "\n      -t  <resType>    # set resource type\n",
                  "\n      -id <resID>   \t # set resource id\n"},
                 argv[0]);
    };
    if (ShellWantsHelp(argc, argv)) {
        ShellPrintf("\nSet Resource Info.");
        syntax();
        return;
    }
    if (ShellRefuseAttached()) return;
    if (!PrvRecordArgs(argc, argv, 3, &db, &index)) {
        syntax();
        return;
    }
    uint32_t type = 0;
    long id = 0;
    bool haveType = false, haveId = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "-t") == 0 && i + 1 < argc && ShellFourCC(argv[i + 1], &type)) haveType = true, ++i;
        else if (std::strcmp(argv[i], "-id") == 0 && i + 1 < argc && ShellDecimal(argv[i + 1], &id)) haveId = true, ++i;
        else {
            syntax();
            return;
        }
    }
    uint16_t resId = static_cast<uint16_t>(id);
    ShellPrintf(DmSetResourceInfo(db, index, haveType ? &type : nullptr, haveId ? &resId : nullptr)
                    ? "\n##ERROR Occurred\n"
                    : "Success!\n");
}

void ShellCmdAddResource(int argc, char** argv) {
    uint32_t db, type = 0;
    long id = -1;
    const bool ok = argc >= 7 && ShellHex(argv[1], &db) && std::strcmp(argv[2], "-t") == 0 &&
                    ShellFourCC(argv[3], &type) && std::strcmp(argv[4], "-id") == 0 && ShellDecimal(argv[5], &id) &&
                    id >= 0 && id <= 0xFFFF;
    if (ShellWantsHelp(argc, argv) || !ok) {
        if (ShellWantsHelp(argc, argv)) ShellPrintf("\nAdd a resource to a database.");
        ShellPrintf("\nSyntax: %s <access ptr> -t <type> -id <id> <record text>\n", argv[0]);
        return;
    }
    if (ShellRefuseAttached()) return;
    const std::string text = PrvText(argc, argv, 6);
    const uint32_t h = DmNewResource(db, type, static_cast<uint16_t>(id), static_cast<uint32_t>(text.size() + 1));
    if (!h) {
        ShellPrintf("\n##ERROR adding resource\n");
        return;
    }
    PrvWriteText(h, text.c_str());
    DmReleaseResource(h);
    ShellPrintf("\nSuccess!\n");
}

void ShellCmdDelResource(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (!PrvEntryCommand(argc, argv, false,
                         "\nDelete a resource from a database.",
                         "\nSyntax: %s <access ptr> <index> \n", &db, &index))
        return;
    ShellPrintf(DmRemoveResource(db, index) ? "\n## ERROR Occurred!\n" : "Success!\n");
}

void ShellCmdChangeResource(int argc, char** argv) {
    uint32_t db;
    uint16_t index;
    if (!PrvEntryCommand(argc, argv, true,
                         "\nChange a resource in a database.",
                         "\nSyntax: %s <access ptr> <index> <resource text>\n", &db, &index))
        return;
    const std::string text = PrvText(argc, argv, 3);
    const uint32_t old = DmGetResourceIndex(db, index);
    const uint32_t h = old ? DmResizeResource(old, static_cast<uint32_t>(text.size() + 1)) : 0;
    if (!h) {
        ShellPrintf("\n## ERROR Occurred!\n");
        return;
    }
    PrvWriteText(h, text.c_str());
    DmReleaseResource(h);
    ShellPrintf("Success!\n");
}

}  // namespace quillwatch
