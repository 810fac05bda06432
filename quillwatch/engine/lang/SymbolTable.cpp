// Name pool and symbol table of the command language.
#include "quillwatch/engine/lang/SymbolTable.h"

#include <cstdlib>
#include <cstring>

#include "quillwatch/engine/lang/LangServices.h"

namespace quillwatch {

namespace {

char FoldUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

int BucketOf(size_t length) {
    return (length >= 1 && length <= kKwdMaxName) ? static_cast<int>(length) : 0;
}

}  // namespace

bool KwdNamesEqual(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (FoldUpper(*a) != FoldUpper(*b)) return false;
        if (*a == '\0') return true;
    }
}

int KwdCreateTable(DbgContextType* ctx) {
    ctx->keywords = static_cast<KwdTable*>(DbgAllocBuffer(sizeof(KwdTable)));
    if (!ctx->keywords) {
        DbgPrint(ctx, "KwdCreateTable error: DbgAllocBuffer failed.\n");
        return 1;
    }
    return 0;
}

int KwdDestroyTable(DbgContextType* ctx) {
    if (!ctx->keywords) return 0;
    if (ctx->keywords->count != 0) {
        DbgPrint(ctx, "KwdDestroyTable error: keyword table is not empty.\n");
        return 1;
    }
    DbgFreeBuffer(ctx->keywords);
    ctx->keywords = nullptr;
    return 0;
}

KwdNode* KwdFind(DbgContextType* ctx, const char* name) {
    if (!ctx->keywords) return nullptr;
    const KwdBucket& bucket = ctx->keywords->buckets[BucketOf(std::strlen(name))];
    for (KwdNode* n = bucket.head; n; n = n->next) {
        if (KwdNamesEqual(n->name, name)) return n;
    }
    return nullptr;
}

KwdNode* KwdIntern(DbgContextType* ctx, const char* name) {
    if (!ctx->keywords) return nullptr;
    if (KwdNode* found = KwdFind(ctx, name)) {
        ++found->refCount;
        return found;
    }
    auto* node = static_cast<KwdNode*>(DbgAllocBuffer(sizeof(KwdNode)));
    if (!node) return nullptr;
    node->name = HostStrDup(name);
    if (!node->name) {
        DbgFreeBuffer(node);
        return nullptr;
    }
    size_t length = std::strlen(name);
    KwdBucket* bucket = &ctx->keywords->buckets[BucketOf(length)];
    node->length = static_cast<uint16_t>(length > 0xFFFF ? 0xFFFF : length);
    node->refCount = 1;
    node->bucket = bucket;
    node->next = bucket->head;
    if (bucket->head) bucket->head->prev = node;
    bucket->head = node;
    ++bucket->count;
    ++ctx->keywords->count;
    return node;
}

bool KwdRelease(DbgContextType* ctx, KwdNode* node, bool force) {
    if (!node) return false;
    if (node->refCount > 0) --node->refCount;
    if (node->refCount > 0 && !force) return false;
    KwdBucket* bucket = node->bucket;
    if (node->prev)
        node->prev->next = node->next;
    else
        bucket->head = node->next;
    if (node->next) node->next->prev = node->prev;
    --bucket->count;
    --ctx->keywords->count;
    DbgFreeBuffer(node->name);
    DbgFreeBuffer(node);
    return true;
}

void KwdList(DbgContextType* ctx) {
    if (!ctx->keywords) return;
    for (const KwdBucket& bucket : ctx->keywords->buckets) {
        for (KwdNode* n = bucket.head; n; n = n->next) DbgPrintf(ctx, "%s\n", n->name);
    }
}

SymTable* SymAllocateTable(int32_t count, SymTable* old) {
    auto* table = static_cast<SymTable*>(DbgAllocBuffer(sizeof(SymTable)));
    if (!table) return nullptr;
    table->entries = static_cast<SymEntryType*>(DbgAllocBuffer(sizeof(SymEntryType) * count));
    if (!table->entries) {
        DbgFreeBuffer(table);
        return nullptr;
    }
    table->count = count;
    if (old) {
        int32_t keep = old->count < count ? old->count : count;
        std::memcpy(table->entries, old->entries, sizeof(SymEntryType) * keep);
        DbgFreeBuffer(old->entries);
        DbgFreeBuffer(old);
    }
    return table;
}

int SymCreateTable(DbgContextType* ctx) {
    ctx->symbols = SymAllocateTable(kSymInitialEntries, nullptr);
    if (!ctx->symbols) {
        DbgPrint(ctx, "SymCreateTable error: SymAllocateTable failed.\n");
        return 1;
    }
    return 0;
}

namespace {

SymEntryType* FirstFreeEntry(SymTable* table) {
    for (int32_t i = 0; i < table->count; ++i) {
        if (!table->entries[i].name) return &table->entries[i];
    }
    return nullptr;
}

}  // namespace

int SymInstallSymbol(DbgContextType* ctx, const char* name, uint16_t kind, uint16_t module, uint16_t id,
                     uint16_t size, uint32_t value, char* str, SymEntryType** out) {
    if (out) *out = nullptr;
    if (std::strlen(name) > kKwdMaxName) {
        DbgPrintf(ctx, "ERROR: keyword is too long!:  %s\n", name);
        return 1;
    }
    if (SymFindByName(ctx, name)) {
        DbgPrintf(ctx, "ERROR: keyword exists!:  %s\n", name);
        return 1;
    }
    SymEntryType* entry = ctx->symbols ? FirstFreeEntry(ctx->symbols) : nullptr;
    if (!entry && ctx->symbols) {
        if (SymTable* grown = SymAllocateTable(ctx->symbols->count + kSymGrowEntries, ctx->symbols)) {
            ctx->symbols = grown;
            entry = FirstFreeEntry(grown);
        }
    }
    if (!entry) {
        DbgPrint(ctx, "ERROR: symbol table is full.\n");
        return 1;
    }
    KwdNode* node = KwdIntern(ctx, name);
    if (!node) {
        DbgPrint(ctx, "ERROR: could not create a symbol table entry because the keyword table is full.\n");
        return 1;
    }
    entry->name = node;
    entry->kind = kind;
    entry->size = size;
    entry->id = id;
    entry->module = module;
    entry->value = value;
    entry->str = str;
    if (out) *out = entry;
    return 0;
}

SymEntryType* SymFindByName(DbgContextType* ctx, const char* name) {
    if (!name || name[0] == '\0' || !ctx->symbols) return nullptr;
    KwdNode* node = KwdFind(ctx, name);
    if (!node) return nullptr;
    for (int32_t i = 0; i < ctx->symbols->count; ++i) {
        if (ctx->symbols->entries[i].name == node) return &ctx->symbols->entries[i];
    }
    return nullptr;
}

SymEntryType* SymFindById(DbgContextType* ctx, uint16_t kind, uint16_t module, uint16_t id) {
    if (!ctx->symbols) return nullptr;
    for (int32_t i = 0; i < ctx->symbols->count; ++i) {
        SymEntryType& e = ctx->symbols->entries[i];
        if (e.name && e.kind == kind && e.module == module && e.id == id) return &e;
    }
    return nullptr;
}

const char* SymNameById(DbgContextType* ctx, uint16_t kind, uint16_t module, uint16_t id) {
    SymEntryType* e = SymFindById(ctx, kind, module, id);
    return e ? e->name->name : nullptr;
}

int SymListKind(DbgContextType* ctx, uint16_t kind) {
    if (!ctx->symbols) return 0;
    for (int32_t i = 0; i < ctx->symbols->count; ++i) {
        const SymEntryType& e = ctx->symbols->entries[i];
        if (e.name && e.kind == kind) DbgPrintf(ctx, "%s\n", e.name->name);
    }
    return 0;
}

void SymRemove(DbgContextType* ctx, SymEntryType* entry) {
    if (!entry || !entry->name) return;
    if (entry->kind == tok::TEMPLATE) LangGetServices().forgetTemplate(ctx, entry->module, entry->id);
    DbgFreeBuffer(entry->str);
    KwdRelease(ctx, entry->name, false);
    std::memset(entry, 0, sizeof(*entry));
}

void SymDestroyTable(DbgContextType* ctx) {
    if (!ctx->symbols) return;
    for (int32_t i = 0; i < ctx->symbols->count; ++i) SymRemove(ctx, &ctx->symbols->entries[i]);
    DbgFreeBuffer(ctx->symbols->entries);
    DbgFreeBuffer(ctx->symbols);
    ctx->symbols = nullptr;
}

int32_t SymEntryPtrToIndex(DbgContextType* ctx, const SymEntryType* entry) {
    SymTable* t = ctx->symbols;
    if (!t || !entry || entry < t->entries || entry >= t->entries + t->count) {
        DbgPrint(ctx, "ERROR in SymEntryPtrToIndex: entry pointer out of bounds.\n");
        return -1;
    }
    return static_cast<int32_t>(entry - t->entries);
}

SymEntryType* SymEntryIndexToPtr(DbgContextType* ctx, int32_t index) {
    SymTable* t = ctx->symbols;
    if (!t || index < 0 || index >= t->count) {
        DbgPrint(ctx, "ERROR in SymEntryIndexToPtr: entry index out of bounds.\n");
        return nullptr;
    }
    return &t->entries[index];
}

namespace {

struct KeywordRow {
    const char* name;
    uint16_t kind;
    uint16_t id;
    uint16_t size;
    uint32_t value;
};

constexpr uint16_t kCmd = tok::CMD;
constexpr uint16_t kReg = tok::REG;
constexpr uint16_t kVal = tok::VAL;

// The built-in vocabulary, in installation order.
constexpr KeywordRow kKeywordRows[] = {
    {"dm", kCmd, 1, 0, 0},
    {"il", kCmd, 2, 0, 0},
    {"sb", kCmd, 3, 0, 0},
    {"sw", kCmd, 4, 0, 0},
    {"sl", kCmd, 44, 0, 0},
    {"db", kCmd, 45, 0, 0},
    {"dw", kCmd, 46, 0, 0},
    {"dl", kCmd, 47, 0, 0},
    {"fill", kCmd, 48, 0, 0},
    {"ss", kCmd, 49, 0, 0},
    {"g", kCmd, 5, 0, 0},
    {"t", kCmd, 7, 0, 0},
    {"s", kCmd, 8, 0, 0},
    {"br", kCmd, 9, 0, 0},
    {"cl", kCmd, 10, 0, 0},
    {"brc", kCmd, 10, 0, 0},
    {"brd", kCmd, 11, 0, 0},
    {"help", kCmd, 12, 0, 0},
    {"att", kCmd, 14, 0, 0},
    {"penv", kCmd, 15, 0, 0},
    {"reg", kCmd, 16, 0, 0},
    {"load", kCmd, 17, 0, 0},
    {"dump", kCmd, 71, 0, 0},
    {"save", kCmd, 72, 0, 0},
    {"bootstrap", kCmd, 73, 0, 0},
    {"flash", kCmd, 42, 0, 0},
    {"checksum", kCmd, 67, 0, 0},
    {"lockStatus", kCmd, 68, 0, 0},
    {"eraseFlash", kCmd, 69, 0, 0},
    {"validate", kCmd, 5004, 0, 0},
    {"atd", kCmd, 50, 0, 0},
    {"atb", kCmd, 51, 0, 0},
    {"atc", kCmd, 52, 0, 0},
    {"dx", kCmd, 43, 0, 0},
    {"gt", kCmd, 6, 0, 0},
    {"sc6", kCmd, 18, 0, 0},
    {"sc", kCmd, 19, 0, 0},
    {"sc7", kCmd, 20, 0, 0},
    {"wh", kCmd, 21, 0, 0},
    {"atr", kCmd, 22, 0, 0},
    {"run", kCmd, 23, 0, 0},
    {"keywords", kCmd, 24, 0, 0},
    {"typeend", kCmd, 25, 0, 0},
    {"alias", kCmd, 26, 0, 0},
    {"var", kCmd, 27, 0, 0},
    {"templates", kCmd, 28, 0, 0},
    {"variables", kCmd, 29, 0, 0},
    {"aliases", kCmd, 30, 0, 0},
    {"commands", kCmd, 41, 0, 0},
    {"sizeof", kCmd, 31, 0, 0},
    {"CardInfo", kCmd, 32, 0, 0},
    {"StoreInfo", kCmd, 33, 0, 0},
    {"HL", kCmd, 34, 0, 0},
    {"HD", kCmd, 35, 0, 0},
    {"HT", kCmd, 36, 0, 0},
    {"HChk", kCmd, 37, 0, 0},
    {"Info", kCmd, 38, 0, 0},
    {"Dir", kCmd, 39, 0, 0},
    {"Opened", kCmd, 40, 0, 0},
    {"Performance", kCmd, 60, 0, 0},
    {"fb", kCmd, 61, 0, 0},
    {"fw", kCmd, 62, 0, 0},
    {"fl", kCmd, 63, 0, 0},
    {"ft", kCmd, 64, 0, 0},
    {"lib", kCmd, 65, 0, 0},
    {"reset", kCmd, 66, 0, 0},
    {"sym", kCmd, 74, 0, 0},
    {"valign", kCmd, 5000, 0, 0},
    {"SetVolume", kCmd, 5001, 0, 0},
    {"GetVolume", kCmd, 5002, 0, 0},
    {"Play", kCmd, 5003, 0, 0},

    {"typedef", tok::TTYPEDEF, 0, 0, 0},
    {"struct", tok::TSTRUCT, 0, 0, 0},

    {"D0", kReg, 128, 4, 0},
    {"D1", kReg, 129, 4, 0},
    {"D2", kReg, 130, 4, 0},
    {"D3", kReg, 131, 4, 0},
    {"D4", kReg, 132, 4, 0},
    {"D5", kReg, 133, 4, 0},
    {"D6", kReg, 134, 4, 0},
    {"D7", kReg, 135, 4, 0},
    {"A0", kReg, 2048, 4, 0},
    {"A1", kReg, 2049, 4, 0},
    {"A2", kReg, 2050, 4, 0},
    {"A3", kReg, 2051, 4, 0},
    {"A4", kReg, 2052, 4, 0},
    {"A5", kReg, 2053, 4, 0},
    {"A6", kReg, 2054, 4, 0},
    {"A7", kReg, 9, 4, 0},
    {"SP", kReg, 9, 4, 0},
    {"USP", kReg, 1, 4, 0},
    {"SSP", kReg, 3, 4, 0},
    {"PC", kReg, 5, 4, 0},
    {"SR", kReg, 7, 2, 0},

    {"false", kVal, 6, 1, 0},
    {"true", kVal, 7, 1, 1},
    {"srTMask", kVal, 8, 2, 0x8000},
    {"srSMask", kVal, 9, 2, 0x2000},
    {"srIMask", kVal, 10, 2, 0x0700},
    {"srXMask", kVal, 11, 2, 0x0010},
    {"srNMask", kVal, 12, 2, 0x0008},
    {"srZMask", kVal, 13, 2, 0x0004},
    {"srVMask", kVal, 14, 2, 0x0002},
    {"srCMask", kVal, 15, 2, 0x0001},
};
static_assert(sizeof(kKeywordRows) / sizeof(kKeywordRows[0]) == 104);

}  // namespace

int KeywordInstallList(DbgContextType* ctx) {
    DbgPrint(ctx, "Installing keywords...\n");
    int result = 0;
    for (const KeywordRow& row : kKeywordRows) {
        result |= SymInstallSymbol(ctx, row.name, row.kind, 0, row.id, row.size, row.value, nullptr, nullptr);
    }
    return result;
}

}  // namespace quillwatch
