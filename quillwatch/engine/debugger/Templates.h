// Type templates: named layouts of 68K data (seven primitives, structs, and typedefs that alias,
// point to or repeat another template) through which device memory is listed and displayed.
#pragma once

#include <cstdint>

#include "quillwatch/engine/lang/DbgContext.h"

namespace quillwatch {

enum TmtClass : uint8_t {
    tmtPrimitive = 1,
    tmtStruct = 2,
    tmtArrayAlias = 3,
    tmtPointerAlias = 4,
    tmtPlainAlias = 5,
};

// A template's identity and a base-template reference: module in the low 16 bits, id in the high 16.
constexpr uint32_t TmtIdentity(uint16_t module, uint16_t id) {
    return uint32_t{module} | (uint32_t{id} << 16);
}

int TmtPrimitivesInit(DbgContextType* ctx);
int TmtBeginDef(DbgContextType* ctx, const char* name, uint16_t module, uint16_t id, uint8_t cls);
int TmtAddField(DbgContextType* ctx, const char* fieldName, uint8_t levels, uint16_t count, uint32_t baseRef,
                uint16_t flags);
int TmtEndDef(DbgContextType* ctx);
int TmtDefineIndirect(DbgContextType* ctx, const char* name, uint32_t identity, uint8_t levels, uint16_t count,
                      uint32_t baseRef);
int TmtListTemplate(DbgContextType* ctx, uint16_t module, uint16_t id);
int TmtDisplayData(DbgContextType* ctx, uint16_t module, uint16_t id, uint32_t address, uint32_t* size);
int TmtGetSize(DbgContextType* ctx, uint16_t module, uint16_t id, uint32_t* size);
// Drops the template record of a TEMPLATE symbol that is being removed.
void TmtForget(DbgContextType* ctx, uint16_t module, uint16_t id);
// The field flags word of a field line: 0 or 1 after "ERROR: illegal field flag: ".
int TmtParseFlags(DbgContextType* ctx, const char* text, uint16_t* flags);

// Command handlers: struct, field and typedef lines, typeend, sizeof, and the layout listing valign.
uint16_t CmdDoBeginStructCmd(DbgContextType* ctx);
uint16_t CmdDoDefineFieldCmd(DbgContextType* ctx);
uint16_t CmdDoTypedefIndirectCmd(DbgContextType* ctx);
uint16_t CmdDoTypeEndCmd(DbgContextType* ctx);
uint16_t CmdDoSizeofCmd(DbgContextType* ctx);
uint16_t CmdDoAlignCmd(DbgContextType* ctx);

}  // namespace quillwatch
