// The routine-name function table.
#include "quillwatch/engine/lang/FunctionTable.h"

#include <cstring>

#include "quillwatch/engine/lang/SymbolTable.h"

namespace quillwatch {

namespace {

FuncEntry* AllocEntries(int32_t count) {
    return static_cast<FuncEntry*>(DbgAllocBuffer(sizeof(FuncEntry) * static_cast<size_t>(count)));
}

void ClearEntry(DbgContextType* ctx, FuncEntry* e) {
    KwdRelease(ctx, e->name, false);
    DbgFreeBuffer(e->library);
    *e = FuncEntry{};
}

bool LibraryMatches(const char* entryLibrary, const char* library) {
    if (entryLibrary == library) return true;
    return entryLibrary && library && std::strcmp(entryLibrary, library) == 0;
}

FuncEntry* FirstFree(FuncTable* t) {
    for (int32_t i = 0; i < t->count; ++i) {
        if (!t->entries[i].name) return &t->entries[i];
    }
    return nullptr;
}

}  // namespace

int FuncCreateTable(DbgContextType* ctx) {
    auto* t = static_cast<FuncTable*>(DbgAllocBuffer(sizeof(FuncTable)));
    FuncEntry* entries = t ? AllocEntries(kFuncInitialEntries) : nullptr;
    if (!entries) {
        DbgFreeBuffer(t);
        DbgPrint(ctx, "FuncCreateTable error: DbgAllocBuffer failed.\n");
        return 1;
    }
    t->count = kFuncInitialEntries;
    t->entries = entries;
    ctx->functions = t;
    return 0;
}

void FuncDestroyTable(DbgContextType* ctx) {
    FuncTable* t = ctx->functions;
    if (!t) return;
    for (int32_t i = 0; i < t->count; ++i) {
        if (t->entries[i].name) ClearEntry(ctx, &t->entries[i]);
    }
    DbgFreeBuffer(t->entries);
    DbgFreeBuffer(t);
    ctx->functions = nullptr;
}

int32_t FuncFindByName(DbgContextType* ctx, const char* name) {
    FuncTable* t = ctx->functions;
    KwdNode* node = t ? KwdFind(ctx, name) : nullptr;
    if (!node) return -1;
    for (int32_t i = 0; i < t->count; ++i) {
        if (t->entries[i].name == node) return i;
    }
    return -1;
}

uint16_t FuncGetByName(DbgContextType* ctx, const char* name, const char** library, uint16_t* selector) {
    int32_t i = FuncFindByName(ctx, name);
    if (i < 0) return kFuncNoTrap;
    const FuncEntry& e = ctx->functions->entries[i];
    if (library) *library = e.library;
    if (selector) *selector = e.selector;
    return e.trap;
}

int32_t FuncFindByTrap(DbgContextType* ctx, uint16_t trap, const char* library, uint16_t selector) {
    FuncTable* t = ctx->functions;
    if (!t) return -1;
    for (int32_t i = 0; i < t->count; ++i) {
        const FuncEntry& e = t->entries[i];
        if (e.name && e.trap == trap && (e.selector == kFuncAnySelector || e.selector == selector) &&
            LibraryMatches(e.library, library)) {
            return i;
        }
    }
    return -1;
}

const char* FuncNameByTrap(DbgContextType* ctx, uint16_t trap, const char* library, uint16_t selector) {
    int32_t i = FuncFindByTrap(ctx, trap, library, selector);
    return i < 0 ? nullptr : ctx->functions->entries[i].name->name;
}

int FuncAdd(DbgContextType* ctx, const char* name, uint16_t trap, const char* library, uint16_t selector) {
    FuncTable* t = ctx->functions;
    if (!t) return 1;
    int32_t i = FuncFindByName(ctx, name);
    if (i >= 0) {
        if (t->entries[i].trap != trap) DbgPrintf(ctx, "WARNING: redefining trap number for %s\n", name);
        ClearEntry(ctx, &t->entries[i]);
    }
    i = FuncFindByTrap(ctx, trap, library, selector);
    if (i >= 0) {
        if (!KwdNamesEqual(t->entries[i].name->name, name)) {
            DbgPrintf(ctx, "WARNING: redefining routine name for trap $%04X\n", trap);
        }
        ClearEntry(ctx, &t->entries[i]);
    }

    FuncEntry* e = FirstFree(t);
    if (!e) {
        if (FuncEntry* grown = AllocEntries(t->count + kFuncGrowEntries)) {
            std::memcpy(grown, t->entries, sizeof(FuncEntry) * static_cast<size_t>(t->count));
            DbgFreeBuffer(t->entries);
            t->entries = grown;
            t->count += kFuncGrowEntries;
            e = FirstFree(t);
        }
    }
    if (!e) {
        DbgPrint(ctx, "ERROR: function table is full.\n");
        return 1;
    }
    char* libraryCopy = nullptr;
    if (library && !(libraryCopy = HostStrDup(library))) {
        DbgPrint(ctx, "ERROR: function table is full.\n");
        return 1;
    }
    KwdNode* node = KwdIntern(ctx, name);
    if (!node) {
        DbgFreeBuffer(libraryCopy);
        DbgPrint(ctx, "ERROR: could not create a function table entry because the keyword table is full.\n");
        return 1;
    }
    *e = FuncEntry{node, trap, selector, libraryCopy};
    return 0;
}

const char* FuncNext(DbgContextType* ctx, uint16_t* trap, const char** library, int32_t* index) {
    FuncTable* t = ctx->functions;
    for (int32_t i = *index; t && i < t->count; ++i) {
        const FuncEntry& e = t->entries[i];
        if (!e.name) continue;
        if (trap) *trap = e.trap;
        if (library) *library = e.library;
        *index = i + 1;
        return e.name->name;
    }
    if (t) *index = t->count;
    return nullptr;
}

const char* FuncFirst(DbgContextType* ctx, uint16_t* trap, const char** library, int32_t* index) {
    *index = 0;
    return FuncNext(ctx, trap, library, index);
}

}  // namespace quillwatch
