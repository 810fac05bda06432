// The network library's face for its callers (the OS, Brontel, tests): export slot numbers, status
// codes, socket references and addresses, and the host and service information buffers.
//
// These records cross a module slot in native layout on the os32 target (i386): pointers are 32 bits
// wide and point into the record itself where the record says so.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/FourCC.h"
#include "common/Status.h"

namespace sockra {

// Module identity.
constexpr uint32_t kSockraType = vantor::FourCC("libr");
constexpr uint32_t kSockraCreator = vantor::FourCC("sokr");
constexpr uint32_t kSockraVersion = 1;
constexpr uint32_t kSockraSlotCount = 69;

// Export slots (alphabetical order of the call names; fixed).
enum SockraSlot : uint16_t {
    kSlotAddrAToIN = 0,
    kSlotAddrINToA = 1,
    kSlotBitGetFixed = 2,
    kSlotBitGetIntV = 3,
    kSlotBitGetUIntV = 4,
    kSlotBitMove = 5,
    kSlotBitPutFixed = 6,
    kSlotBitPutIntV = 7,
    kSlotBitPutUIntV = 8,
    kSlotClose = 9,
    kSlotConfigAliasGet = 10,
    kSlotConfigAliasSet = 11,
    kSlotConfigDelete = 12,
    kSlotConfigIndexFromName = 13,
    kSlotConfigList = 14,
    kSlotConfigMakeActive = 15,
    kSlotConfigRename = 16,
    kSlotConfigSave = 17,
    kSlotConnectionRefresh = 18,
    kSlotDmReceive = 19,
    kSlotDrvrWake = 20,
    kSlotFinishCloseWait = 21,
    kSlotGetHostByAddr = 22,
    kSlotGetHostByName = 23,
    kSlotGetMailExchangeByName = 24,
    kSlotGetServByName = 25,
    kSlotHandlePowerOff = 26,
    kSlotIFAttach = 27,
    kSlotIFDetach = 28,
    kSlotIFDown = 29,
    kSlotIFGet = 30,
    kSlotIFMediaDown = 31,
    kSlotIFMediaUp = 32,
    kSlotIFSettingGet = 33,
    kSlotIFSettingSet = 34,
    kSlotIFUp = 35,
    kSlotInterfacePtr = 36,
    kSlotMaster = 37,
    kSlotOpen = 38,
    kSlotOpenConfig = 39,
    kSlotOpenCount = 40,
    kSlotOpenIfCloseWait = 41,
    kSlotPrefsAppend = 42,
    kSlotPrefsGet = 43,
    kSlotPrefsSet = 44,
    kSlotReceive = 45,
    kSlotReceivePB = 46,
    kSlotScriptExecute = 47,
    kSlotScriptExecuteDefault = 48,
    kSlotSelect = 49,
    kSlotSend = 50,
    kSlotSendPB = 51,
    kSlotSettingGet = 52,
    kSlotSettingSet = 53,
    kSlotSleep = 54,
    kSlotSocketAccept = 55,
    kSlotSocketAddr = 56,
    kSlotSocketBind = 57,
    kSlotSocketClose = 58,
    kSlotSocketConnect = 59,
    kSlotSocketListen = 60,
    kSlotSocketOpen = 61,
    kSlotSocketOptionGet = 62,
    kSlotSocketOptionSet = 63,
    kSlotSocketShutdown = 64,
    kSlotTracePrintF = 65,
    kSlotTracePutS = 66,
    kSlotWake = 67,
    kSlotTuningValueGet = 68,
};

// Status codes of class 0x12.
constexpr vantor::Status netErrAlreadyOpen = 0x1201;
constexpr vantor::Status netErrNotOpen = 0x1202;
constexpr vantor::Status netErrStillOpen = 0x1203;
constexpr vantor::Status netErrParamErr = 0x1204;
constexpr vantor::Status netErrNoMoreSockets = 0x1205;
constexpr vantor::Status netErrOutOfMemory = 0x1207;
constexpr vantor::Status netErrNoInterfaces = 0x120C;
constexpr vantor::Status netErrBufTooSmall = 0x120D;
constexpr vantor::Status netErrUnimplemented = 0x120E;
constexpr vantor::Status netErrSocketBusy = 0x1211;  // host socket error
constexpr vantor::Status netErrTimeout = 0x1212;
constexpr vantor::Status netErrSocketClosedByRemote = 0x1214;  // reset or refused
constexpr vantor::Status netErrOutOfCmdBlocks = 0x1215;
constexpr vantor::Status netErrUnknownSetting = 0x1218;
constexpr vantor::Status netErrOptTooSmall = 0x1219;
constexpr vantor::Status netErrPrefNotFound = 0x121A;
constexpr vantor::Status netErrInterfaceNotFound = 0x121C;
constexpr vantor::Status netErrUserCancel = 0x121F;
constexpr vantor::Status netErrBadScript = 0x1220;
constexpr vantor::Status netErrAlreadyCheckedIn = 0x1229;
constexpr vantor::Status netErrNotCompleted = 0x122A;
constexpr vantor::Status netErrWouldBlock = 0x122F;
constexpr vantor::Status netErrDNSTryAgain = 0x123D;
constexpr vantor::Status netErrDNSNotFound = 0x123E;
constexpr vantor::Status netErrDNSNoRecovery = 0x1240;
constexpr vantor::Status netErrDNSNoData = 0x1242;
constexpr vantor::Status netErrInterfaceDown = 0x1251;
constexpr vantor::Status netErrConfigNotFound = 0x1273;
constexpr vantor::Status netErrConfigCantDelete = 0x1274;  // not allowed on an alias or built-in
constexpr vantor::Status netErrConfigTooMany = 0x1275;
constexpr vantor::Status netErrConfigBadName = 0x1276;
constexpr vantor::Status netErrConfigNotAlias = 0x1277;
constexpr vantor::Status netErrConfigAliasTooDeep = 0x1278;
constexpr vantor::Status netErrConfigNoSettings = 0x1279;
constexpr vantor::Status netErrConfigOtherActive = 0x127A;
constexpr vantor::Status netErrConfigAliasErr = 0x127B;

// 1-based index into the socket table; -1 in a result means failure.
using NetSocketRef = int16_t;
// IPv4 address in network byte order.
using NetIPAddr = uint32_t;

constexpr int16_t netSocketAddrRaw = 0;
constexpr int16_t netSocketAddrINET = 2;

// Family 2: 16-bit port and 32-bit address, both in network order; the layout of the host's
// sockaddr_in. Family 0: up to 14 raw bytes.
struct NetSocketAddrINType {
    int16_t family;
    uint16_t port;
    NetIPAddr addr;
};
struct NetSocketAddrType {
    int16_t family;
    uint8_t data[14];
};
static_assert(sizeof(NetSocketAddrINType) == 8 && offsetof(NetSocketAddrINType, addr) == 4);
static_assert(sizeof(NetSocketAddrType) == 16);

// Socket levels and options of the library.
constexpr uint16_t netSocketOptLevelIP = 0;
constexpr uint16_t netSocketOptLevelTCP = 6;
constexpr uint16_t netSocketOptLevelSocket = 0xFFFF;
constexpr uint16_t netSocketOptTCPNoDelay = 1;
constexpr uint16_t netSocketOptTCPMaxSeg = 2;
constexpr uint16_t netSocketOptSockDebug = 0x0001;
constexpr uint16_t netSocketOptSockKeepAlive = 0x0008;
constexpr uint16_t netSocketOptSockLinger = 0x0080;
constexpr uint16_t netSocketOptSockOOBInLine = 0x0100;
constexpr uint16_t netSocketOptSockErrorStatus = 0x1007;
constexpr uint16_t netSocketOptSockSocketType = 0x1008;
constexpr uint16_t netSocketOptSockNonBlocking = 0x2000;
constexpr uint16_t netSocketOptSockNotifyData = 0x2003;

// Value of option 0x0080 (four bytes).
struct NetSocketLingerType {
    int16_t onOff;
    int16_t time;
};

// Request pointed to by the value of option 0x2003 (native form: three 32-bit fields).
struct NetNotifyRequestType {
    uint32_t kind;   // 16-bit kind 2 in its first half: notify by broadcast
    uint32_t flag;   // 1 starts or re-arms the monitor
    uint32_t notifyType;
};

// An interface's driver: a module of type 'neti' whose creator is the interface's creator. The
// library calls its module entry with a selector as the launch code and this block as the
// parameter: 3 reads a setting (`length` points to the u16 capacity in, size out), 4 writes one
// (`length` is the value's size).
constexpr uint32_t kNetIFDriverType = vantor::FourCC("neti");
constexpr uint16_t kNetIFDriverSettingGet = 3;
constexpr uint16_t kNetIFDriverSettingSet = 4;
struct NetIFDriverBlock {
    uint32_t ifData;  // the interface's data word, 0 when the library has none
    uint16_t setting;
    void* valueP;
    uint32_t length;  // get: a uint16_t* (as a 32-bit value); set: the size
};
static_assert(sizeof(NetIFDriverBlock) == 16 || sizeof(void*) != 4);

// Send and receive flags.
constexpr uint16_t netIOFlagOutOfBand = 0x0001;
constexpr uint16_t netIOFlagPeek = 0x0002;
constexpr uint16_t netIOFlagDontRoute = 0x0004;

// Host information buffer: the entry's pointers point into the buffer itself.
struct NetHostInfoType {
    char* nameP;
    char** nameAliasesP;
    uint16_t addrType;
    uint16_t addrLen;
    uint8_t** addrListP;
};
constexpr int kNetHostNameSize = 256;
constexpr int kNetHostAddrs = 4;  // pointers, the last one null: at most 3 addresses
struct NetHostInfoBufType {
    NetHostInfoType hostInfo;
    char name[kNetHostNameSize];
    char* aliasList[2];
    char aliases[kNetHostNameSize];
    NetIPAddr* addressList[kNetHostAddrs];
    NetIPAddr address[kNetHostAddrs];
};

// Service information buffer.
struct NetServInfoType {
    char* nameP;
    char** nameAliasesP;
    uint16_t port;  // network order
    char* protoP;
};
struct NetServInfoBufType {
    NetServInfoType servInfo;
    char name[16];
    char* aliasList[2];
    char aliases[16];
    char protoName[16];
};

#if defined(__i386__)
static_assert(sizeof(NetHostInfoBufType) == 568 && offsetof(NetHostInfoBufType, name) == 16 &&
              offsetof(NetHostInfoBufType, aliasList) == 272 &&
              offsetof(NetHostInfoBufType, aliases) == 280 &&
              offsetof(NetHostInfoBufType, addressList) == 536 &&
              offsetof(NetHostInfoBufType, address) == 552);
static_assert(sizeof(NetServInfoType) == 16);
#endif

}  // namespace sockra
