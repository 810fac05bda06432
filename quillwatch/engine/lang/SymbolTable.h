// The name pool (every name of the command language, interned and bucketed by length) and the
// symbol table (commands, registers, constants, variables, aliases and templates).
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

constexpr int kKwdMaxName = 32;  // longest name of the symbol table
constexpr int kKwdBuckets = kKwdMaxName + 1;

struct KwdBucket;

struct KwdNode {
    char* name;
    uint16_t length;
    uint16_t refCount;
    KwdBucket* bucket;
    KwdNode* prev;  // newer node of the same bucket
    KwdNode* next;  // older node
};

struct KwdBucket {
    KwdNode* head;  // newest node
    uint16_t count;
};

// Bucket n holds names of length n (1 to 32); names of length 0 or above 32 go to bucket 0.
struct KwdTable {
    KwdBucket buckets[kKwdBuckets];
    uint16_t count;
};

struct SymEntryType {
    KwdNode* name;  // none: the entry is free
    uint16_t kind;
    uint16_t size;
    uint16_t id;
    uint16_t module;
    uint32_t value;
    char* str;  // owned text of STR, FLAGS and ALIAS entries
};

struct SymTable {
    int32_t count;
    SymEntryType* entries;
};

constexpr int32_t kSymInitialEntries = 100;
constexpr int32_t kSymGrowEntries = 20;

// ASCII letters fold to upper case on both sides, nothing else.
bool KwdNamesEqual(const char* a, const char* b);

int KwdCreateTable(DbgContextType* ctx);
int KwdDestroyTable(DbgContextType* ctx);
KwdNode* KwdFind(DbgContextType* ctx, const char* name);
KwdNode* KwdIntern(DbgContextType* ctx, const char* name);
bool KwdRelease(DbgContextType* ctx, KwdNode* node, bool force);
void KwdList(DbgContextType* ctx);

int SymCreateTable(DbgContextType* ctx);
// A zeroed table of `count` entries; the old table's entries are copied into it (as many as fit)
// and the old table freed. None when memory is exhausted (the old table is then kept).
SymTable* SymAllocateTable(int32_t count, SymTable* old);
// Installs a symbol. `str` (STR, FLAGS and ALIAS) passes into the table's ownership only on success.
int SymInstallSymbol(DbgContextType* ctx, const char* name, uint16_t kind, uint16_t module, uint16_t id,
                     uint16_t size, uint32_t value, char* str, SymEntryType** out);
SymEntryType* SymFindByName(DbgContextType* ctx, const char* name);
SymEntryType* SymFindById(DbgContextType* ctx, uint16_t kind, uint16_t module, uint16_t id);
const char* SymNameById(DbgContextType* ctx, uint16_t kind, uint16_t module, uint16_t id);
int SymListKind(DbgContextType* ctx, uint16_t kind);
void SymRemove(DbgContextType* ctx, SymEntryType* entry);
void SymDestroyTable(DbgContextType* ctx);
int32_t SymEntryPtrToIndex(DbgContextType* ctx, const SymEntryType* entry);
SymEntryType* SymEntryIndexToPtr(DbgContextType* ctx, int32_t index);

// Installs the built-in vocabulary (module 0); the OR of all install results.
int KeywordInstallList(DbgContextType* ctx);

}  // namespace quillwatch
