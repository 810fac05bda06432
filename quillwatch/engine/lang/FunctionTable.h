// Routine names by trap number: names registered for A-trap numbers, optionally qualified by a
// library name or a dispatch selector.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

struct KwdNode;

constexpr uint16_t kFuncAnySelector = 0xFFFF;
constexpr uint16_t kFuncNoTrap = 0xFFFF;
constexpr int32_t kFuncInitialEntries = 50;
constexpr int32_t kFuncGrowEntries = 20;

struct FuncEntry {
    KwdNode* name;      // interned name; none = the entry is free
    uint16_t trap;      // low 12 bits of the A-trap word
    uint16_t selector;  // kFuncAnySelector answers every selector
    char* library;      // owned library name, or none
};

struct FuncTable {
    int32_t count;
    FuncEntry* entries;
};

int FuncCreateTable(DbgContextType* ctx);
void FuncDestroyTable(DbgContextType* ctx);
int FuncAdd(DbgContextType* ctx, const char* name, uint16_t trap, const char* library, uint16_t selector);
int32_t FuncFindByName(DbgContextType* ctx, const char* name);
uint16_t FuncGetByName(DbgContextType* ctx, const char* name, const char** library, uint16_t* selector);
int32_t FuncFindByTrap(DbgContextType* ctx, uint16_t trap, const char* library, uint16_t selector);
const char* FuncNameByTrap(DbgContextType* ctx, uint16_t trap, const char* library, uint16_t selector);
// Iteration over the used entries in index order: FuncFirst starts at index 0.
const char* FuncFirst(DbgContextType* ctx, uint16_t* trap, const char** library, int32_t* index);
const char* FuncNext(DbgContextType* ctx, uint16_t* trap, const char** library, int32_t* index);

}  // namespace quillwatch
