// The library's 68K entry: each library trap reads the 68K caller's arguments through the 68K
// environment, converts records between the 68K layout and the native one, calls the native export
// and writes the out-values and the result register back.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/BigEndian.h"
#include "common/module/A68kGlue.h"
#include "common/module/ModuleInterface.h"
#include "sockra/Sockra.h"
#include "sockra/SockraOS.h"
#include "sockra/SockraScript.h"

namespace sockra {

vantor::glue::ModuleImport gA68k(vantor::kA68kType, vantor::kA68kCreator, vantor::kA68kVersion,
                                 vantor::kA68kSlots);

namespace {

using Call = vantor::A68kTrapCall;
using In16 = vantor::A68kInOut<uint16_t>;
using In32 = vantor::A68kInOut<uint32_t>;

constexpr char kLibraryName[] = "Sockra.lib";
constexpr uint32_t kCodeType = 0x636F6465;  // 'code'
constexpr uint16_t kDmModeReadOnly = 1;
constexpr uint16_t kErrTrapNotServed = 0x0505;

// The 68K socket address: u16 family and 14 bytes.
constexpr uint8_t kSockAddrLayout[] = {0x12, 0xE1, 0x00};

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <typename T>
T* Ptr(uint32_t a) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(a));
}

// A 68K time-out in ticks as the milliseconds a native call takes: ten times as many, saturated
// at the 32-bit range; -1 (no limit) stays negative.
int32_t TimeOut(const Call& k, uint16_t offset) {
    const int64_t ms = static_cast<int64_t>(static_cast<int32_t>(k.U32(offset))) * 10;
    if (ms > INT32_MAX) return INT32_MAX;
    if (ms < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(ms);
}

// The native error of a call, written back as 16 bits through the 68K error pointer.
struct Err {
    const Call& k;
    uint32_t p;
    Status value = 0;
    ~Err() { k.Write16(p, value); }
};

// A socket address of the 68K caller in native layout (null stays null).
struct SockAddr {
    const Call& k;
    uint32_t p;
    NetSocketAddrType native{};
    SockAddr(const Call& call, uint32_t pointer, bool in) : k(call), p(pointer) {
        if (p && in) k.ToNative(&native, p, kSockAddrLayout);
    }
    NetSocketAddrType* Native() { return p ? &native : nullptr; }
    void Out() const {
        if (p) k.To68K(&native, p, kSockAddrLayout);
    }
};

// A 2- or 4-byte value of a library or interface setting, converted; any other length passes the
// 68K pointer unchanged.
bool Convertible(uint16_t length) { return length == 2 || length == 4; }

// The host information buffer: the native call fills a native copy, whose bytes go into the 68K
// buffer with every pointer set into that buffer, big-endian.
void HostInfoTo68K(const Call& k, const NetHostInfoBufType& n, uint32_t p) {
    auto* out = Ptr<uint8_t>(p);
    std::memcpy(out + 16, n.name, sizeof n.name);
    std::memcpy(out + 280, n.aliases, sizeof n.aliases);
    std::memcpy(out + 552, n.address, sizeof n.address);
    k.Write32(p, p + 16);
    k.Write32(p + 4, p + 272);
    k.Write16(p + 8, n.hostInfo.addrType);
    k.Write16(p + 10, n.hostInfo.addrLen);
    k.Write32(p + 12, p + 536);
    k.Write32(p + 272, n.aliasList[0] ? p + 280 : 0);
    k.Write32(p + 276, 0);
    for (int i = 0; i < kNetHostAddrs; ++i) k.Write32(p + 536 + 4 * i, n.addressList[i] ? p + 552 + 4 * i : 0);
}

void ServInfoTo68K(const Call& k, const NetServInfoBufType& n, uint32_t p) {
    auto* out = Ptr<uint8_t>(p);
    std::memset(out, 0, 70);
    std::memcpy(out + 14, n.name, sizeof n.name);
    std::memcpy(out + 38, n.aliases, 15);
    std::memcpy(out + 53, n.protoName, 16);
    out[52] = 0;
    out[69] = 0;
    k.Write32(p, p + 14);
    k.Write32(p + 4, p + 30);
    std::memcpy(out + 8, &n.servInfo.port, 2);  // network order already
    k.Write32(p + 10, p + 53);
    k.Write32(p + 30, n.aliasList[0] ? p + 38 : 0);
    k.Write32(p + 34, 0);
}

// Settings whose values pass as bytes.
bool LibSettingRaw(uint16_t s) { return s == 1 || s == 2 || s == 3 || s == 6 || s == 7 || s == 8 || s == 0x1004 || s == 0x1005; }
bool IFSettingRaw(uint16_t s) {
    if ((s >= 3 && s <= 14) || s == 30 || s == 31 || s == 48 || s >= 0x8000) return true;
    switch (s) {
        case 0x1002: case 0x1003: case 0x1007: case 0x1008: case 0x100B: case 0x100C: case 0x100E: case 0x100F:
            return true;
        default: return false;
    }
}

// Reads a setting through `get` (native value, in/out length) and writes it back to the caller.
template <typename Get>
Status SettingGet(const Call& k, uint32_t valueP, uint32_t lengthP, bool raw, Get get) {
    In16 length(k, lengthP);
    if (raw || !lengthP || !Convertible(length.value)) return get(Ptr<void>(valueP), length.Native());
    uint32_t native = 0;
    const uint16_t asked = length.value;
    Status s = get(&native, length.Native());
    if (!s && valueP) {
        if (asked == 2) k.Write16(valueP, static_cast<uint16_t>(native));
        else k.Write32(valueP, native);
    }
    return s;
}

// Hands a setting's value to `set`: bytes as they are, or a 2- or 4-byte value converted.
template <typename Set>
Status SettingSet(const Call& k, uint32_t valueP, uint16_t length, bool raw, Set set) {
    if (length == 0) return set(nullptr, length);
    if (raw || !Convertible(length) || !valueP) return set(Ptr<const void>(valueP), length);
    void* native = os::MemPtrNew(length);
    if (!native) return netErrOutOfMemory;
    if (length == 2) {
        uint16_t v = k.Read16(valueP);
        std::memcpy(native, &v, 2);
    } else {
        uint32_t v = k.Read32(valueP);
        std::memcpy(native, &v, 4);
    }
    Status s = set(native, length);
    os::MemPtrFree(native);
    return s;
}

int16_t OptionSet(const Call& k, Status* err) {
    const NetSocketRef socket = static_cast<NetSocketRef>(k.S16(2));
    const uint16_t level = k.U16(4), option = k.U16(6), length = k.U16(12);
    const uint32_t valueP = k.U32(8);
    const int32_t timeout = TimeOut(k, 14);
    uint8_t native[12] = {};
    void* value = native;
    NetNotifyRequestType request{};
    if (length == 2 && valueP) {
        uint16_t v = k.Read16(valueP);
        std::memcpy(native, &v, 2);
    } else if (length == 4 && valueP && option == netSocketOptSockLinger) {
        NetSocketLingerType l{static_cast<int16_t>(k.Read16(valueP)), static_cast<int16_t>(k.Read16(valueP + 2))};
        std::memcpy(native, &l, sizeof l);
    } else if (length == 4 && valueP && option == netSocketOptSockNotifyData) {
        // The value is a pointer to the 68K notify request: u32 kind, u8 flag, a pad byte, u32 value.
        const uint32_t r = k.Read32(valueP);
        NetNotifyRequestType* requestP = nullptr;
        if (r) {
            request = {k.Read32(r), k.Read8(r + 4), k.Read32(r + 6)};
            requestP = &request;
        }
        std::memcpy(native, &requestP, sizeof requestP);
    } else if (length == 4 && valueP) {
        uint32_t v = k.Read32(valueP);
        std::memcpy(native, &v, 4);
    } else {
        value = Ptr<void>(valueP);
    }
    return SockraSocketOptionSet(socket, level, option, value, length, timeout, err);
}

int16_t OptionGet(const Call& k, Status* err) {
    const NetSocketRef socket = static_cast<NetSocketRef>(k.S16(2));
    const uint16_t level = k.U16(4), option = k.U16(6);
    const uint32_t valueP = k.U32(8);
    In16 length(k, k.U32(12));
    const int32_t timeout = TimeOut(k, 16);
    uint8_t native[16] = {};
    const bool convert = valueP && (length.value == 2 || length.value == 4);
    int16_t r = SockraSocketOptionGet(socket, level, option, convert ? native : Ptr<void>(valueP), length.Native(),
                                      timeout, err);
    if (r >= 0 && convert) {
        if (length.value == 2) {
            uint16_t v;
            std::memcpy(&v, native, 2);
            k.Write16(valueP, v);
        } else if (option == netSocketOptSockLinger) {
            NetSocketLingerType l;
            std::memcpy(&l, native, sizeof l);
            k.Write16(valueP, static_cast<uint16_t>(l.onOff));
            k.Write16(valueP + 2, static_cast<uint16_t>(l.time));
        } else if (length.value == 4) {
            uint32_t v;
            std::memcpy(&v, native, 4);
            k.Write32(valueP, v);
        }
    }
    return r;
}

// Formats `format` with its arguments as native 32-bit words into `out` of `size` bytes, never
// past it: each conversion is formatted on its own with its bound. Strings are pointers; every
// numeric conversion takes one word.
constexpr size_t kTraceArgWords = 64;

void FormatBounded(char* out, size_t size, const char* format, const uint32_t* args, size_t count) {
    size_t at = 0, used = 0;
    auto put = [&](const char* text, size_t n) {
        for (size_t i = 0; i < n && at + 1 < size; ++i) out[at++] = text[i];
    };
    for (const char* f = format; *f;) {
        if (*f != '%') {
            put(f++, 1);
            continue;
        }
        const char* start = f++;
        if (*f == '%') {
            put(f++, 1);
            continue;
        }
        while (*f && std::strchr("-+ #0", *f)) ++f;
        while (*f >= '0' && *f <= '9') ++f;
        if (*f == '.')
            for (++f; *f >= '0' && *f <= '9';) ++f;
        while (*f == 'h' || *f == 'l') ++f;
        const char conversion = *f;
        if (!conversion) break;
        ++f;
        // The conversion without its length letters, and the word it takes.
        char spec[24];
        size_t n = 0;
        for (const char* c = start; c < f - 1 && n + 2 < sizeof spec; ++c)
            if (*c != 'h' && *c != 'l') spec[n++] = *c;
        spec[n++] = conversion;
        spec[n] = 0;
        const uint32_t word = used < count ? args[used] : 0;
        ++used;
        char piece[128];
        if (conversion == 's') {
            const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(word));
            std::snprintf(piece, sizeof piece, spec, text ? text : "(null)");
        } else if (std::strchr("diouxXc", conversion)) {
            std::snprintf(piece, sizeof piece, spec, static_cast<int>(word));
        } else {
            piece[0] = 0;
        }
        put(piece, std::strlen(piece));
    }
    out[at] = 0;
}

void TraceWithFormat(const Call& k) {
    const char* format = k.Ptr<const char>(2);
    char text[64] = {};
    if (format) {
        // The environment converts the 68K arguments into this block; a format that takes more
        // words than it holds, or an environment without the conversion, formats with zeros.
        uint32_t args[kTraceArgWords] = {};
        if (!gA68k.Table()[vantor::a68kslot::A68kConvertFormatArgsAtArg] ||
            gA68k.Call<vantor::a68ksig::A68kConvertFormatArgsAtArg>(vantor::a68kslot::A68kConvertFormatArgsAtArg,
                                                                    k.context, uint16_t{6}, format, args,
                                                                    uint32_t{sizeof args}) != 0)
            std::memset(args, 0, sizeof args);
        char full[256];
        FormatBounded(full, sizeof full, format, args, kTraceArgWords);
        if (std::strlen(full) > 62)
            vantor::sys::ErrDisplayFileLineMsg("Libraries/Net/Src/NetGlue", __LINE__, "trace msg too big");
        std::memcpy(text, full, std::min(std::strlen(full), sizeof text - 1));
    }
    k.Result16(SockraTracePutS(text));
}

}  // namespace

uint16_t SockraTrapDispatch68K(void* context, uint16_t trap) {
    const Call k{gA68k, context};
    switch (trap) {
        case 0xA801: {
            In16 ifErrs(k, k.U32(2));
            k.Result16(SockraOpen(ifErrs.Native()));
            return 0;
        }
        case 0xA802: k.Result16(SockraClose(k.U16(2))); return 0;
        case 0xA803: k.Result16(SockraSleep()); return 0;
        case 0xA804: k.Result16(SockraWake()); return 0;
        case 0xA805: {
            // The 68K value is the address as a big-endian number: back to network byte order.
            uint32_t a = 0;
            vantor::WriteBE32(&a, k.U32(2));
            k.ResultPtr(SockraAddrINToA(a, k.Ptr<char>(6)));
            return 0;
        }
        case 0xA806: {
            NetIPAddr a = SockraAddrAToIN(k.Ptr<const char>(2));
            k.Result32(vantor::ReadBE32(&a));
            return 0;
        }
        case 0xA807: {
            Err e{k, k.U32(12)};
            k.Result16(static_cast<uint16_t>(
                SockraSocketOpen(k.U8(2), k.U8(4), static_cast<int16_t>(k.S16(6)), TimeOut(k, 8), &e.value)));
            return 0;
        }
        case 0xA808: {
            Err e{k, k.U32(8)};
            k.Result16(static_cast<uint16_t>(SockraSocketClose(static_cast<NetSocketRef>(k.S16(2)), TimeOut(k, 4), &e.value)));
            return 0;
        }
        case 0xA809: {
            Err e{k, k.U32(18)};
            k.Result16(static_cast<uint16_t>(OptionSet(k, &e.value)));
            return 0;
        }
        case 0xA80A: {
            Err e{k, k.U32(20)};
            k.Result16(static_cast<uint16_t>(OptionGet(k, &e.value)));
            return 0;
        }
        case 0xA80B:
        case 0xA80C: {
            Err e{k, k.U32(14)};
            SockAddr a(k, k.U32(4), true);
            auto call = trap == 0xA80B ? &SockraSocketBind : &SockraSocketConnect;
            k.Result16(static_cast<uint16_t>(call(static_cast<NetSocketRef>(k.S16(2)), a.Native(),
                                                  static_cast<int16_t>(k.S16(8)), TimeOut(k, 10), &e.value)));
            return 0;
        }
        case 0xA80D: {
            Err e{k, k.U32(10)};
            k.Result16(static_cast<uint16_t>(
                SockraSocketListen(static_cast<NetSocketRef>(k.S16(2)), k.U16(4), TimeOut(k, 6), &e.value)));
            return 0;
        }
        case 0xA80E: {
            Err e{k, k.U32(16)};
            SockAddr a(k, k.U32(4), false);
            In16 length(k, k.U32(8));
            int16_t r = SockraSocketAccept(static_cast<NetSocketRef>(k.S16(2)), a.Native(), length.Native(),
                                           TimeOut(k, 12), &e.value);
            if (r >= 0) a.Out();
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA80F: {
            Err e{k, k.U32(10)};
            k.Result16(static_cast<uint16_t>(SockraSocketShutdown(static_cast<NetSocketRef>(k.S16(2)),
                                                                  static_cast<uint8_t>(k.U16(4)), TimeOut(k, 6),
                                                                  &e.value)));
            return 0;
        }
        case 0xA810:
        case 0xA812: {
            Err e{k, k.U32(14)};
            auto call = trap == 0xA810 ? &SockraSendPB : &SockraReceivePB;
            k.Result16(static_cast<uint16_t>(
                call(static_cast<NetSocketRef>(k.S16(2)), k.Ptr<void>(4), k.U16(8), TimeOut(k, 10), &e.value)));
            return 0;
        }
        case 0xA811: {
            Err e{k, k.U32(22)};
            SockAddr to(k, k.U32(12), true);
            k.Result16(static_cast<uint16_t>(SockraSend(static_cast<NetSocketRef>(k.S16(2)), k.Ptr<const void>(4),
                                                        k.U16(8), k.U16(10), to.Native(), k.U16(16), TimeOut(k, 18),
                                                        &e.value)));
            return 0;
        }
        case 0xA813: {
            Err e{k, k.U32(24)};
            SockAddr from(k, k.U32(12), false);
            In16 length(k, k.U32(16));
            int16_t r = SockraReceive(static_cast<NetSocketRef>(k.S16(2)), k.Ptr<void>(4), k.U16(8), k.U16(10),
                                      from.Native(), length.Native(), TimeOut(k, 20), &e.value);
            if (r >= 0) from.Out();
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA814: {
            Err e{k, k.U32(28)};
            SockAddr from(k, k.U32(16), false);
            In16 length(k, k.U32(20));
            int16_t r = SockraDmReceive(static_cast<NetSocketRef>(k.S16(2)), k.Ptr<void>(4), k.U32(8), k.U16(12),
                                        k.U16(14), from.Native(), length.Native(), TimeOut(k, 24), &e.value);
            if (r >= 0) from.Out();
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA815: {
            Err e{k, k.U32(20)};
            In32 read(k, k.U32(4)), write(k, k.U32(8)), except(k, k.U32(12));
            int16_t r = SockraSelect(k.U16(2), read.Native(), write.Native(), except.Native(), TimeOut(k, 16),
                                     &e.value);
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA81A: k.Result16(SockraMaster(k.U16(2), k.Ptr<void>(4), TimeOut(k, 8))); return 0;
        case 0xA81B: {
            Err e{k, k.U32(14)};
            const uint32_t buffer = k.U32(6);
            NetHostInfoBufType native{};
            NetHostInfoBufType* r = buffer ? SockraGetHostByName(k.Ptr<const char>(2), &native, TimeOut(k, 10), &e.value)
                                           : nullptr;
            if (r) HostInfoTo68K(k, native, buffer);
            k.ResultPtr(r ? Ptr<void>(buffer) : nullptr);
            return 0;
        }
        case 0xA81C: {
            const uint16_t setting = k.U16(2);
            k.Result16(SettingGet(k, k.U32(4), k.U32(8), LibSettingRaw(setting), [&](void* v, uint16_t* l) {
                return SockraSettingGet(setting, v, l);
            }));
            return 0;
        }
        case 0xA81D: {
            const uint16_t setting = k.U16(2);
            k.Result16(SettingSet(k, k.U32(4), k.U16(8), LibSettingRaw(setting), [&](const void* v, uint16_t l) {
                return SockraSettingSet(setting, v, l);
            }));
            return 0;
        }
        case 0xA81E: k.Result16(SockraIFAttach(k.U32(2), k.U16(6), k.U32(8))); return 0;
        case 0xA81F: k.Result16(SockraIFDetach(k.U32(2), k.U16(6), k.U32(8))); return 0;
        case 0xA820: {
            In32 creator(k, k.U32(4));
            In16 instance(k, k.U32(8));
            k.Result16(SockraIFGet(k.U16(2), creator.Native(), instance.Native()));
            return 0;
        }
        case 0xA821: {
            const uint32_t creator = k.U32(2);
            const uint16_t instance = k.U16(6), setting = k.U16(8);
            const uint32_t valueP = k.U32(10);
            In16 length(k, k.U32(14));
            const bool keepBytes = setting == 3 || setting == 4 || setting == 5 || setting == 0x1002 ||
                                   setting == 0x1003 || setting == 0x1007 || setting == 0x100C;
            Status s;
            if (length.value == 4 && valueP && (keepBytes || !IFSettingRaw(setting))) {
                uint32_t native = 0;
                s = SockraIFSettingGet(creator, instance, setting, &native, length.Native());
                if (!s) {
                    if (keepBytes) std::memcpy(Ptr<void>(valueP), &native, 4);
                    else k.Write32(valueP, native);
                }
            } else if (length.value == 2 && valueP && !IFSettingRaw(setting)) {
                uint16_t native = 0;
                s = SockraIFSettingGet(creator, instance, setting, &native, length.Native());
                if (!s) k.Write16(valueP, native);
            } else {
                s = SockraIFSettingGet(creator, instance, setting, Ptr<void>(valueP), length.Native());
            }
            k.Result16(s);
            return 0;
        }
        case 0xA822: {
            const uint32_t creator = k.U32(2);
            const uint16_t instance = k.U16(6), setting = k.U16(8);
            k.Result16(SettingSet(k, k.U32(10), k.U16(14), IFSettingRaw(setting), [&](const void* v, uint16_t l) {
                return SockraIFSettingSet(creator, instance, setting, v, l);
            }));
            return 0;
        }
        case 0xA823: k.Result16(SockraIFUp(k.U32(2), k.U16(6))); return 0;
        case 0xA824: k.Result16(SockraIFDown(k.U32(2), k.U16(6), k.U32(8))); return 0;
        case 0xA827: {
            Err e{k, k.U32(18)};
            const uint32_t buffer = k.U32(10);
            NetHostInfoBufType native{};
            NetHostInfoBufType* r = buffer ? SockraGetHostByAddr(k.Ptr<const uint8_t>(2), k.U16(6), k.U16(8), &native,
                                                                 TimeOut(k, 14), &e.value)
                                           : nullptr;
            if (r) HostInfoTo68K(k, native, buffer);
            k.ResultPtr(r ? Ptr<void>(buffer) : nullptr);
            return 0;
        }
        case 0xA828: {
            Err e{k, k.U32(18)};
            const uint32_t buffer = k.U32(10);
            NetServInfoBufType native{};
            NetServInfoBufType* r = buffer ? SockraGetServByName(k.Ptr<const char>(2), k.Ptr<const char>(6), &native,
                                                                 TimeOut(k, 14), &e.value)
                                           : nullptr;
            if (r) ServInfoTo68K(k, native, buffer);
            k.ResultPtr(r ? Ptr<void>(buffer) : nullptr);
            return 0;
        }
        case 0xA829: {
            Err e{k, k.U32(24)};
            SockAddr local(k, k.U32(4), false), remote(k, k.U32(12), false);
            int16_t localLength = static_cast<int16_t>(k.U32(8) ? k.Read16(k.U32(8)) : 0);
            int16_t remoteLength = static_cast<int16_t>(k.U32(16) ? k.Read16(k.U32(16)) : 0);
            int16_t r = SockraSocketAddr(static_cast<NetSocketRef>(k.S16(2)), local.Native(),
                                         k.U32(8) ? &localLength : nullptr, remote.Native(),
                                         k.U32(16) ? &remoteLength : nullptr, TimeOut(k, 20), &e.value);
            if (r >= 0) {
                local.Out();
                remote.Out();
            }
            k.Write16(k.U32(8), static_cast<uint16_t>(localLength));
            k.Write16(k.U32(16), static_cast<uint16_t>(remoteLength));
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA82A: k.Result16(SockraFinishCloseWait()); return 0;
        case 0xA82B: {
            Err e{k, k.U32(20)};
            const uint16_t max = k.U16(6);
            const uint32_t prioritiesP = k.U32(12);
            uint16_t priorities[64] = {};
            const uint16_t n = max < 64 ? max : 64;
            int16_t r = SockraGetMailExchangeByName(k.Ptr<const char>(2), n, k.Ptr<char[256]>(8), priorities,
                                                    TimeOut(k, 16), &e.value);
            for (int i = 0; prioritiesP && i < r && i < n; ++i) k.Write16(prioritiesP + 2 * i, priorities[i]);
            k.Result16(static_cast<uint16_t>(r));
            return 0;
        }
        case 0xA82E: {
            In16 count(k, k.U32(2));
            k.Result16(SockraOpenCount(count.Native()));
            return 0;
        }
        case 0xA82F: TraceWithFormat(k); return 0;
        case 0xA830: k.Result16(SockraTracePutS(k.Ptr<const char>(2))); return 0;
        case 0xA831: k.Result16(SockraOpenIfCloseWait()); return 0;
        case 0xA832: {
            const uint32_t eventP = k.U32(2);
            vantor::SysEventType event{};
            if (eventP)
                gA68k.Call<vantor::a68ksig::A68kEventToNative>(vantor::a68kslot::A68kEventToNative, context, &event,
                                                              eventP);
            Status s = SockraHandlePowerOff(eventP ? &event : nullptr);
            if (eventP)
                gA68k.Call<vantor::a68ksig::A68kEventTo68K>(vantor::a68kslot::A68kEventTo68K, context, &event, eventP);
            k.Result16(s);
            return 0;
        }
        case 0xA833: {
            const uint32_t allUpP = k.U32(4);
            uint8_t allUp = allUpP ? k.Read8(allUpP) : 0;
            In16 ifErrs(k, k.U32(8));
            Status s = SockraConnectionRefresh(k.U8(2), allUpP ? &allUp : nullptr, ifErrs.Native());
            k.Write8(allUpP, allUp);
            k.Result16(s);
            return 0;
        }
        case 0xA834: {
            In32 dst(k, k.U32(6)), src(k, k.U32(14));
            SockraBitMove(k.Ptr<uint8_t>(2), dst.Native(), k.Ptr<const uint8_t>(10), src.Native(), k.U32(18));
            return 0;
        }
        case 0xA835: {
            In32 offset(k, k.U32(6));
            SockraBitPutFixed(k.Ptr<uint8_t>(2), offset.Native(), k.U32(10), k.U16(14));
            return 0;
        }
        case 0xA836: {
            In32 offset(k, k.U32(6));
            k.Result32(SockraBitGetFixed(k.Ptr<const uint8_t>(2), offset.Native(), k.U16(10)));
            return 0;
        }
        case 0xA837:
        case 0xA839: {
            In32 offset(k, k.U32(6));
            if (trap == 0xA837) SockraBitPutUIntV(k.Ptr<uint8_t>(2), offset.Native(), k.U32(10));
            else SockraBitPutIntV(k.Ptr<uint8_t>(2), offset.Native(), static_cast<int32_t>(k.U32(10)));
            return 0;
        }
        case 0xA838: {
            In32 offset(k, k.U32(6));
            k.Result32(SockraBitGetUIntV(k.Ptr<const uint8_t>(2), offset.Native()));
            return 0;
        }
        case 0xA83A: {
            In32 offset(k, k.U32(6));
            k.Result32(static_cast<uint32_t>(SockraBitGetIntV(k.Ptr<const uint8_t>(2), offset.Native())));
            return 0;
        }
        case 0xA83B: {
            In16 ifErrs(k, k.U32(8));
            k.Result16(SockraOpenConfig(k.U16(2), k.U32(4), ifErrs.Native()));
            return 0;
        }
        case 0xA83C: k.Result16(SockraConfigMakeActive(k.U16(2))); return 0;
        case 0xA83D: {
            In16 count(k, k.U32(6));
            k.Result16(SockraConfigList(k.Ptr<char[32]>(2), count.Native()));
            return 0;
        }
        case 0xA83E: {
            In16 index(k, k.U32(6));
            k.Result16(SockraConfigIndexFromName(k.Ptr<const char>(2), index.Native()));
            return 0;
        }
        case 0xA83F: k.Result16(SockraConfigDelete(k.U16(2))); return 0;
        case 0xA840: k.Result16(SockraConfigSave(k.Ptr<const char>(2))); return 0;
        case 0xA841: k.Result16(SockraConfigRename(k.U16(2), k.Ptr<const char>(4))); return 0;
        case 0xA842: k.Result16(SockraConfigAliasSet(k.U16(2), k.U16(4))); return 0;
        case 0xA843: {
            In16 index(k, k.U32(4));
            const uint32_t anotherP = k.U32(8);
            uint8_t another = anotherP ? k.Read8(anotherP) : 0;
            Status s = SockraConfigAliasGet(k.U16(2), index.Native(), anotherP ? &another : nullptr);
            k.Write8(anotherP, another);
            k.Result16(s);
            return 0;
        }
        default: return kErrTrapNotServed;
    }
}

namespace {

// A 68K plug-in's call of the run's selector, through the thunk that stands in its parameter block:
// (run handle, u16 selector, buffer, u16 size pointer, u16 time-out pointer, procedure address) on
// the 68K stack. Size and time-out are 16-bit 68K values, read and written back; the port number
// that selector 9 answers is handed over big-endian, as 68K code reads it.
void PrvScriptSelector68K(void* context) {
    const Call k{gA68k, context};
    // Only the handle of a plug-in running now is taken; any other value counts as none.
    auto* h = k.Ptr<SockraScriptHandle>(0);
    if (!ScriptHandleLive(h)) h = nullptr;
    const uint16_t selector = k.U16(4);
    void* buffer = k.Ptr<void>(6);
    In16 size(k, k.U32(10));
    In16 timeout(k, k.U32(14));
    Status err = ScriptPluginSelector(h, selector, buffer, size.Native(), timeout.Native(), k.U32(18));
    if (!err && selector == 9 && h) vantor::WriteBE16(static_cast<uint8_t*>(buffer), h->serialPort);
    k.Result16(err);
}

}  // namespace

bool ScriptPluginIs68K(uint32_t dbID) {
    uint32_t global = 0;
    if (os::FtrGet(vantor::kA68kCreator, 0, &global) != 0 || !global) return false;  // no 68K environment
    const os::DmOpenRef db = vantor::sys::DmOpenDatabaseByID(dbID, kDmModeReadOnly);
    if (!db) return false;
    const bool code = os::DmFindResource(db, kCodeType, 1, nullptr) != 0xFFFF;
    os::DmCloseDatabase(db);
    return code;
}

uint32_t ScriptSelectorThunk68K() {
    void* global = gA68k.Call<vantor::a68ksig::A68kGetGlobalContext>(vantor::a68kslot::A68kGetGlobalContext);
    if (!global) return 0;
    return gA68k.Call<vantor::a68ksig::A68kNativeThunkNew>(vantor::a68kslot::A68kNativeThunkNew, global,
                                                            reinterpret_cast<void*>(&PrvScriptSelector68K), 0u, 0u);
}

void ScriptSelectorThunkRelease68K() {
    void* global = gA68k.Call<vantor::a68ksig::A68kGetGlobalContext>(vantor::a68kslot::A68kGetGlobalContext);
    if (global)
        gA68k.Call<vantor::a68ksig::A68kNativeThunkRelease>(vantor::a68kslot::A68kNativeThunkRelease, global,
                                                            reinterpret_cast<void*>(&PrvScriptSelector68K));
}

uint16_t SockraLibEntry68K(void* context, vantor::A68kLibTableEntry* entry, uint16_t selector) {
    switch (selector) {
        case vantor::kA68kLibSelectorName:
            if (entry) entry->name = Addr(kLibraryName);
            return 0;
        case vantor::kA68kLibSelectorClose: return 0;
        default: return SockraTrapDispatch68K(context, selector);
    }
}

}  // namespace sockra
