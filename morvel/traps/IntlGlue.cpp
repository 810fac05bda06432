#include "morvel/traps/IntlGlue.h"

#include "common/module/ModuleGlue.h"
#include "common/module/SystemCalls.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/traps/InputGlue.h"
#include "morvel/traps/Thunks.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;

constexpr uint16_t kErrLmBadParam = 0x0502;
constexpr uint16_t kErrLmUnknownSelector = 0x0505;
constexpr uint16_t kErrTsmBadCode = 0x050A;

// Translated-object kind of the big-endian copy of a character attribute table.
constexpr uint32_t kTaggedCharAttr = 4;
constexpr uint32_t kCharAttrEntries = 256;

// Locale setting kinds whose value the glue converts.
constexpr uint16_t kSettingWord = 2;
constexpr uint16_t kSettingLocale = 4;

// Text conversion: substitution strings are given in this encoding and converted into the
// destination encoding first, into a buffer of this size.
constexpr uint8_t kSubstitutionEncoding = 6;
constexpr uint16_t kSubstitutionBytes = 134;

// The overlay search state is opaque to 68K code: the 32 bytes of a database search state, copied
// unchanged.
constexpr int32_t kOmSearchStateBytes = sizeof(vantor::SysDmSearchState);

using SelectorHandler = void (*)(EmulState* s);

void* PtrArg(const EmulState* s, uint32_t offset) { return Ptr(GetArgPtr(s, offset)); }
uint8_t Arg8(const EmulState* s, uint32_t offset) { return static_cast<uint8_t>(GetArgInt8(s, offset)); }
uint16_t Arg16(const EmulState* s, uint32_t offset) { return static_cast<uint16_t>(GetArgUInt16(s, offset)); }

// A locale record behind a 68K pointer, converted in; written back where the call fills it.
struct LocaleArg {
    uint32_t p;
    Locale value{};
    explicit LocaleArg(uint32_t pointer) : p(pointer) { LocaleToNative(&value, p); }
    Locale* Native() { return p ? &value : nullptr; }
    void WriteBack() const { LocaleTo68K(&value, p); }
};

// Runs the handler of the selector in the low 16 bits of D2; selectors without one do nothing.
void RunSelector(EmulState* s, const SelectorHandler* handlers, uint32_t count) {
    const uint32_t selector = s->D[2] & 0xFFFF;
    if (selector < count && handlers[selector]) handlers[selector](s);
}

// A0 = a 68K-callable thunk for the handler of the selector number at argument 0, or 0.
void ThunkForSelector(EmulState* s, const SelectorHandler* handlers, uint32_t count) {
    const uint32_t selector = Arg16(s, 0);
    const SelectorHandler handler = selector < count ? handlers[selector] : nullptr;
    SetResultA0(s, handler ? NativeThunkNew(s, Addr(reinterpret_cast<void*>(handler)), false, 0) : 0);
}

// ---- character attributes and number separators ----

// The big-endian copy of one native attribute table, made once per table and context.
struct CharAttrCopy {
    TaggedNode node;
    uint8_t entries[kCharAttrEntries * 2];
};

void TrapGetCharAttr(EmulState* s, uint16_t) {
    const auto* table = SysCall<const uint16_t*()>(slot::GetCharAttr);
    if (!table) {
        SetResultA0(s, 0);
        return;
    }
    for (TaggedNode* n = s->taggedNodes; n; n = n->next) {
        if (n->kind == kTaggedCharAttr && n->payload == table) {
            SetResultA0(s, Addr(reinterpret_cast<CharAttrCopy*>(n)->entries));
            return;
        }
    }
    // The node and the copy are one block, freed with the node.
    auto* copy = static_cast<CharAttrCopy*>(sys::MemPtrNew(sizeof(CharAttrCopy)));
    if (!copy) {
        SetResultA0(s, 0);
        return;
    }
    for (uint32_t i = 0; i < kCharAttrEntries; ++i) Write68KUInt16(Addr(copy->entries), 2 * i, table[i]);
    copy->node.prev = nullptr;
    copy->node.next = s->taggedNodes;
    copy->node.kind = kTaggedCharAttr;
    copy->node.payload = const_cast<uint16_t*>(table);
    if (s->taggedNodes) s->taggedNodes->prev = &copy->node;
    s->taggedNodes = &copy->node;
    SetResultA0(s, Addr(copy->entries));
}

// The sort and caseless tables are bytes: the OS's own go to 68K code unchanged.
template <uint16_t Slot>
void ByteTable(EmulState* s, uint16_t) {
    SetResultA0(s, Addr(SysCall<const uint8_t*()>(Slot)));
}

void TrapLocGetNumberSeparators(EmulState* s, uint16_t) {
    SysCall<void(uint8_t, char*, char*)>(slot::LocGetNumberSeparators, Arg8(s, 0), Str(GetArgPtr(s, 2)),
                                         Str(GetArgPtr(s, 6)));
}

// ---- the locale manager ----

void LmSel1(EmulState* s) { SetResultD0UInt16(s, SysCall<uint16_t()>(slot::LmSel1)); }

// (locale in, index out).
void LmSel2(EmulState* s) {
    const uint32_t localeP = GetArgPtr(s, 0);
    InOut16 index(GetArgPtr(s, 4));
    if (!localeP || !index.p) {
        SetResultD0UInt16(s, kErrLmBadParam);
        return;
    }
    LocaleArg locale(localeP);
    const uint16_t err = SysCall<uint16_t(const Locale*, uint16_t*)>(slot::LmSel2, locale.Native(), index.Native());
    index.WriteBack();
    SetResultD0UInt16(s, err);
}

// (index, setting, value buffer, value size): the OS fills the buffer with the setting's value.
// 16-bit values and locale records go through a native temporary; the OS is never told of more
// room than the temporary has, and nothing is written back beyond the caller's size.
void LmSel3(EmulState* s) {
    const uint16_t index = Arg16(s, 0), setting = Arg16(s, 2), size = Arg16(s, 8);
    const uint32_t valueP = GetArgPtr(s, 4);
    if (!valueP) {
        SetResultD0UInt16(s, kErrLmBadParam);
        return;
    }
    const uint16_t kind = SysCall<uint16_t(uint16_t, uint16_t)>(slot::LmSel3Kind, index, setting);
    union {
        uint16_t word;
        Locale locale;
    } value{};
    const uint16_t recordBytes = kind == kSettingWord ? 2 : kind == kSettingLocale ? 4 : 0;
    void* buffer = Ptr(valueP);
    uint16_t nativeSize = size;
    if (recordBytes) {
        if (kind == kSettingWord && size >= 2) value.word = Read68KUInt16(valueP, 0);
        buffer = &value;
        if (nativeSize > recordBytes) nativeSize = recordBytes;
    }
    const uint16_t err =
        SysCall<uint16_t(uint16_t, uint16_t, void*, uint16_t)>(slot::LmSel3, index, setting, buffer, nativeSize);
    if (recordBytes && size >= recordBytes) {
        if (kind == kSettingWord) Write68KUInt16(valueP, 0, value.word);
        else LocaleTo68K(&value.locale, valueP);
    }
    SetResultD0UInt16(s, err);
}

void TrapLmDispatch(EmulState* s, uint16_t) {
    static constexpr SelectorHandler kHandlers[] = {nullptr, LmSel1, LmSel2, LmSel3};
    const uint32_t selector = s->D[2] & 0xFFFF;
    if (selector >= 1 && selector <= 3) kHandlers[selector](s);
    else SetResultD0UInt16(s, kErrLmUnknownSelector);
}

// ---- the overlay manager ----

// (name, locale in, name) -> 16-bit.
void OmSel2(EmulState* s) {
    LocaleArg locale(GetArgPtr(s, 4));
    SetResultD0UInt16(s, SysCall<uint16_t(const char*, const Locale*, char*)>(
                             slot::OmSel2, Str(GetArgPtr(s, 0)), locale.Native(), Str(GetArgPtr(s, 8))));
}
// (name, locale out) -> 16-bit.
void OmSel3(EmulState* s) {
    LocaleArg locale(GetArgPtr(s, 4));
    const uint16_t err =
        SysCall<uint16_t(const char*, Locale*)>(slot::OmSel3, Str(GetArgPtr(s, 0)), locale.Native());
    locale.WriteBack();
    SetResultD0UInt16(s, err);
}
// (locale out), no result: selectors 4 and 6.
template <uint16_t Slot>
void OmLocaleOut(EmulState* s) {
    LocaleArg locale(GetArgPtr(s, 0));
    SysCall<void(Locale*)>(Slot, locale.Native());
    locale.WriteBack();
}
// (index, locale out) -> 16-bit.
void OmSel5(EmulState* s) {
    LocaleArg locale(GetArgPtr(s, 2));
    const uint16_t err = SysCall<uint16_t(uint16_t, Locale*)>(slot::OmSel5, Arg16(s, 0), locale.Native());
    locale.WriteBack();
    SetResultD0UInt16(s, err);
}
// (locale in) -> 16-bit.
void OmSel7(EmulState* s) {
    LocaleArg locale(GetArgPtr(s, 0));
    SetResultD0UInt16(s, SysCall<uint16_t(const Locale*)>(slot::OmSel7, locale.Native()));
}
void OmSel8(EmulState* s);
// (new-search flag, search state in/out, locale out) -> 16-bit.
void OmSel9(EmulState* s) {
    const uint32_t stateP = GetArgPtr(s, 2);
    LocaleArg locale(GetArgPtr(s, 6));
    uint8_t state[kOmSearchStateBytes] = {};
    if (stateP) sys::MemMove(state, Ptr(stateP), kOmSearchStateBytes);
    const uint16_t err = SysCall<uint16_t(uint8_t, void*, Locale*)>(slot::OmSel9, Arg8(s, 0),
                                                                    stateP ? state : nullptr, locale.Native());
    if (stateP) sys::MemMove(Ptr(stateP), state, kOmSearchStateBytes);
    locale.WriteBack();
    SetResultD0UInt16(s, err);
}

constexpr SelectorHandler kOmHandlers[] = {nullptr,
                                           nullptr,
                                           OmSel2,
                                           OmSel3,
                                           OmLocaleOut<slot::OmSel4>,
                                           OmSel5,
                                           OmLocaleOut<slot::OmSel6>,
                                           OmSel7,
                                           OmSel8,
                                           OmSel9};
constexpr uint32_t kOmCount = sizeof kOmHandlers / sizeof kOmHandlers[0];

void OmSel8(EmulState* s) { ThunkForSelector(s, kOmHandlers, kOmCount); }
void TrapOmDispatch(EmulState* s, uint16_t) { RunSelector(s, kOmHandlers, kOmCount); }

// ---- international text functions ----

// One function per argument shape; Slot tells the selectors of one shape apart.
template <uint16_t Slot>
void ByteToByte(EmulState* s) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint8_t)>(Slot, Arg8(s, 0)));
}
template <uint16_t Slot>
void WordToWord(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(uint16_t)>(Slot, Arg16(s, 0)));
}
template <uint16_t Slot>
void WordToByte(EmulState* s) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint16_t)>(Slot, Arg16(s, 0)));
}
// (text, 32-bit, text) -> 16-bit: selectors 5 and 6.
template <uint16_t Slot>
void TextLongText(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint32_t, void*)>(Slot, PtrArg(s, 0), GetArgUInt32(s, 4),
                                                                   PtrArg(s, 8)));
}
// (text, 16-bit, text, 16-bit) -> 16-bit: selectors 10 and 12.
template <uint16_t Slot>
void TextWordTextWord(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint16_t, void*, uint16_t)>(Slot, PtrArg(s, 0), Arg16(s, 4),
                                                                             PtrArg(s, 6), Arg16(s, 10)));
}
// (text, 16-bit, text, text, 16-bit, text) -> 16-bit: selectors 20 and 21.
template <uint16_t Slot>
void TextWordTextTextWordText(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint16_t, void*, void*, uint16_t, void*)>(
                             Slot, PtrArg(s, 0), Arg16(s, 4), PtrArg(s, 6), PtrArg(s, 10), Arg16(s, 14),
                             PtrArg(s, 16)));
}

void IntlSel7(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint32_t)>(slot::IntlSel7, PtrArg(s, 0), GetArgUInt32(s, 4)));
}
void IntlSel8(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint32_t, uint16_t)>(slot::IntlSel8, PtrArg(s, 0),
                                                                      GetArgUInt32(s, 4), Arg16(s, 8)));
}
void IntlSel9(EmulState* s) {
    InOut32 first(GetArgPtr(s, 8)), second(GetArgPtr(s, 12));
    const uint16_t result = SysCall<uint16_t(void*, uint32_t, uint32_t*, uint32_t*)>(
        slot::IntlSel9, PtrArg(s, 0), GetArgUInt32(s, 4), first.Native(), second.Native());
    first.WriteBack();
    second.WriteBack();
    SetResultD0UInt16(s, result);
}
void IntlSel11(EmulState* s) {
    InOut32 value(GetArgPtr(s, 8));
    InOut16 word(GetArgPtr(s, 12));
    const uint8_t result = SysCall<uint8_t(void*, void*, uint32_t*, uint16_t*)>(
        slot::IntlSel11, PtrArg(s, 0), PtrArg(s, 4), value.Native(), word.Native());
    value.WriteBack();
    word.WriteBack();
    SetResultD0UInt8(s, result);
}
void IntlSel13(EmulState* s) {
    InOut32 first(GetArgPtr(s, 12)), second(GetArgPtr(s, 16));
    const uint8_t result = SysCall<uint8_t(void*, uint32_t, uint32_t, uint32_t*, uint32_t*)>(
        slot::IntlSel13, PtrArg(s, 0), GetArgUInt32(s, 4), GetArgUInt32(s, 8), first.Native(), second.Native());
    first.WriteBack();
    second.WriteBack();
    SetResultD0UInt8(s, result);
}
void IntlSel15(EmulState* s) { SetResultD0UInt8(s, SysCall<uint8_t(void*)>(slot::IntlSel15, PtrArg(s, 0))); }
void IntlSel16(EmulState* s) { SetResultA0(s, Addr(SysCall<void*(uint8_t)>(slot::IntlSel16, Arg8(s, 0)))); }
void IntlSel17(EmulState* s) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint8_t, uint8_t)>(slot::IntlSel17, Arg8(s, 0), Arg8(s, 2)));
}
void IntlSel18(EmulState* s) {
    InOut16 word(GetArgPtr(s, 10));
    const uint16_t result = SysCall<uint16_t(void*, uint16_t, void*, uint16_t*, uint16_t)>(
        slot::IntlSel18, PtrArg(s, 0), Arg16(s, 4), PtrArg(s, 6), word.Native(), Arg16(s, 14));
    word.WriteBack();
    SetResultD0UInt16(s, result);
}
void IntlSel23(EmulState* s) {
    SetResultD0UInt32(s, SysCall<uint32_t(void*, uint32_t)>(slot::IntlSel23, PtrArg(s, 0), GetArgUInt32(s, 4)));
}
void IntlSel24(EmulState* s);
void IntlSel26(EmulState* s) {
    SetResultA0(s, Addr(SysCall<void*(void*, void*, void*, void*, void*)>(
                       slot::IntlSel26, PtrArg(s, 0), PtrArg(s, 4), PtrArg(s, 8), PtrArg(s, 12), PtrArg(s, 16))));
}

// Text conversion: (new conversion, state, source, source bytes in/out, source encoding,
// destination, destination bytes in/out, destination encoding, substitution, its length).
using ConvertCall = uint16_t(uint8_t, void*, const void*, uint16_t*, uint8_t, void*, uint16_t*, uint8_t,
                             const char*, uint16_t);
void IntlSel28(EmulState* s) {
    InOut16 sourceBytes(GetArgPtr(s, 10)), destinationBytes(GetArgPtr(s, 20));
    const uint8_t destinationEncoding = Arg8(s, 24);
    const char* substitution = Str(GetArgPtr(s, 26));
    uint16_t substitutionBytes = Arg16(s, 30);
    // The substitution string is converted into the destination encoding first; when that fails
    // the conversion gets it as given.
    char converted[kSubstitutionBytes];
    if (substitution && (destinationEncoding & 0x7F) != kSubstitutionEncoding) {
        uint16_t in = substitutionBytes, out = sizeof converted;
        if (SysCall<ConvertCall>(slot::IntlSel28, 1, nullptr, substitution, &in, kSubstitutionEncoding, converted,
                                 &out, destinationEncoding, nullptr, 0) == 0 &&
            out <= sizeof converted) {
            substitution = converted;
            substitutionBytes = out;
        }
    }
    const uint16_t result = SysCall<ConvertCall>(slot::IntlSel28, Arg8(s, 0), PtrArg(s, 2), PtrArg(s, 6),
                                                 sourceBytes.Native(), Arg8(s, 14), PtrArg(s, 16),
                                                 destinationBytes.Native(), destinationEncoding, substitution,
                                                 substitutionBytes);
    sourceBytes.WriteBack();
    destinationBytes.WriteBack();
    SetResultD0UInt16(s, result);
}
void IntlSel30(EmulState* s) {
    SetResultD0UInt32(s, SysCall<uint32_t(uint32_t, uint32_t)>(slot::IntlSel30, GetArgUInt32(s, 0),
                                                               GetArgUInt32(s, 4)));
}
void IntlSel31(EmulState* s) {
    SetResultD0UInt8(s, SysCall<uint8_t(uint32_t)>(slot::IntlSel31, GetArgUInt32(s, 0)));
}

constexpr SelectorHandler kIntlHandlers[] = {
    nullptr,                                     // 0
    ByteToByte<slot::IntlSel1>,                  // 1
    WordToWord<slot::IntlSel2>,                  // 2
    WordToWord<slot::IntlSel3>,                  // 3
    WordToWord<slot::IntlSel4>,                  // 4
    TextLongText<slot::IntlSel5>,                // 5
    TextLongText<slot::IntlSel6>,                // 6
    IntlSel7,                                    // 7
    IntlSel8,                                    // 8
    IntlSel9,                                    // 9
    TextWordTextWord<slot::IntlSel10>,           // 10
    IntlSel11,                                   // 11
    TextWordTextWord<slot::IntlSel12>,           // 12
    IntlSel13,                                   // 13
    WordToByte<slot::IntlSel14>,                 // 14
    IntlSel15,                                   // 15
    IntlSel16,                                   // 16
    IntlSel17,                                   // 17
    IntlSel18,                                   // 18
    WordToByte<slot::IntlSel19>,                 // 19
    TextWordTextTextWordText<slot::IntlSel20>,   // 20
    TextWordTextTextWordText<slot::IntlSel21>,   // 21
    WordToWord<slot::FntWCharWidth>,             // 22
    IntlSel23,                                   // 23
    IntlSel24,                                   // 24
    nullptr,                                     // 25
    IntlSel26,                                   // 26
    nullptr,                                     // 27
    IntlSel28,                                   // 28
    nullptr,                                     // 29
    IntlSel30,                                   // 30
    IntlSel31,                                   // 31
    ByteToByte<slot::IntlSel32>,                 // 32
};
constexpr uint32_t kIntlCount = sizeof kIntlHandlers / sizeof kIntlHandlers[0];

void IntlSel24(EmulState* s) { ThunkForSelector(s, kIntlHandlers, kIntlCount); }
void TrapIntlDispatch(EmulState* s, uint16_t) { RunSelector(s, kIntlHandlers, kIntlCount); }

// ---- text services ----

void TsmSel0(EmulState* s) { SetResultD0UInt16(s, SysCall<uint16_t(void*)>(slot::TxtSel0, PtrArg(s, 0))); }
void TsmSel1(EmulState* s) {
    SetResultD0UInt16(s, SysCall<uint16_t(void*, uint16_t)>(slot::TxtSel1, PtrArg(s, 0), Arg16(s, 4)));
}
// (code out as a string of four characters) -> 8-bit: selectors 5 and 7. The string may sit at
// any address, so it is written byte by byte.
template <uint16_t Slot>
void TsmCodeOut(EmulState* s) {
    const uint32_t textP = GetArgPtr(s, 0);
    uint32_t code = 0;
    const uint8_t found = SysCall<uint8_t(uint32_t*)>(Slot, &code);
    if (textP) {
        for (uint32_t i = 0; i < 4; ++i)
            Write68KInt8(textP, i, found ? static_cast<uint8_t>(code >> (24 - 8 * i)) : 0);
        if (found) Write68KInt8(textP, 4, 0);
    }
    SetResultD0UInt8(s, found);
}
// (code in as a string) -> 16-bit: selectors 6 and 8.
template <uint16_t Slot>
void TsmCodeIn(EmulState* s) {
    const char* text = Str(GetArgPtr(s, 0));
    uint32_t code = 0;
    if (!text || !TsmCodeFromString(text, &code)) {
        SetResultD0UInt16(s, kErrTsmBadCode);
        return;
    }
    SetResultD0UInt16(s, SysCall<uint16_t(uint32_t)>(Slot, code));
}

// Selector 18, the selection list, is the keyboard and pen glue's.
constexpr SelectorHandler kTsmHandlers[] = {TsmSel0,
                                            TsmSel1,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            TsmCodeOut<slot::TxtSel5>,
                                            TsmCodeIn<slot::TxtSel6>,
                                            TsmCodeOut<slot::TxtSel7>,
                                            TsmCodeIn<slot::TxtSel8>,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            nullptr,
                                            TsmSelectionList};
void TrapTsmDispatch(EmulState* s, uint16_t) {
    RunSelector(s, kTsmHandlers, sizeof kTsmHandlers / sizeof kTsmHandlers[0]);
}

}  // namespace

void LocaleToNative(Locale* native, uint32_t p68k) {
    if (!p68k) return;
    native->language = Read68KUInt16(p68k, 0);
    native->country = Read68KUInt16(p68k, 2);
}

void LocaleTo68K(const Locale* native, uint32_t p68k) {
    if (!p68k) return;
    Write68KUInt16(p68k, 0, native->language);
    Write68KUInt16(p68k, 2, native->country);
}

bool TsmCodeFromString(const char* text, uint32_t* code) {
    uint32_t value = 0, length = 0;
    while (length < 5 && text[length]) value = value << 8 | static_cast<uint8_t>(text[length++]);
    if (length != 0 && length != 4) return false;
    *code = value;
    return true;
}

void IntlGlueInstall(TrapHandler* t) {
    t[0x294] = ByteTable<slot::GetCharSortValue>;
    t[0x295] = TrapGetCharAttr;
    t[0x296] = ByteTable<slot::GetCharCaselessValue>;
    t[0x2F9] = TrapLocGetNumberSeparators;
    t[0x2AB] = TrapIntlDispatch;
    t[0x3AE] = TrapTsmDispatch;
    t[0x3AF] = TrapOmDispatch;
    t[0x40A] = TrapLmDispatch;
}

}  // namespace morvel
