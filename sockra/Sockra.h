// The library's native exports (the entries of its export table) and what its units share.
#pragma once

#include <cstdint>

#include "common/SockraLib.h"
#include "common/module/A68kLibrary.h"
#include "sockra/SockraBits.h"
#include "sockra/SockraGlobals.h"

struct hostent;
struct pollfd;
struct servent;

namespace sockra {
using vantor::Status;

// Host errno to status code of class 0x12.
Status SockraErrnoMap(int err);

// The 68K entry (launch code 0x7FFD): selector 0 names the library "Sockra.lib", 1 does nothing,
// library traps go to the dispatcher, which answers 0x0505 for a trap it does not serve.
uint16_t SockraLibEntry68K(void* context, vantor::A68kLibTableEntry* entry, uint16_t selector);
uint16_t SockraTrapDispatch68K(void* context, uint16_t trap);

// poll() of the host, taken up again when a signal interrupts it.
int SockraPoll(::pollfd* fds, unsigned long count, int timeout);

// Domain-name encoding: the dotted name as length-prefixed labels ended by a zero byte. Answers the
// encoded length, or -1 past the buffer size (cut to 255), -2 for a bad escape or an empty label,
// -3 for a null name, -4 for a label longer than 62 bytes. A null output only measures.
int16_t SockraDomainNameEncode(const char* name, uint16_t bufSize, uint8_t* out);

// Copy a host resolver answer into the caller's information buffer, every copy bounded by the
// buffer's fields: official name, first alias, up to three IPv4 addresses.
void SockraHostInfoFill(NetHostInfoBufType* buf, const ::hostent* h);
void SockraServInfoFill(NetServInfoBufType* buf, const ::servent* s);
}  // namespace sockra

extern "C" {
using sockra::NetHostInfoBufType;
using sockra::NetIPAddr;
using sockra::NetServInfoBufType;
using sockra::NetSocketRef;
using vantor::Status;

NetIPAddr SockraAddrAToIN(const char* a);
char* SockraAddrINToA(NetIPAddr inet, char* spaceP);
NetHostInfoBufType* SockraGetHostByName(const char* nameP, NetHostInfoBufType* bufP, int32_t timeout,
                                        Status* errP);
NetHostInfoBufType* SockraGetHostByAddr(const uint8_t* addrP, uint16_t len, uint16_t type,
                                        NetHostInfoBufType* bufP, int32_t timeout, Status* errP);
NetServInfoBufType* SockraGetServByName(const char* servNameP, const char* protoNameP, NetServInfoBufType* bufP,
                                        int32_t timeout, Status* errP);
int16_t SockraGetMailExchangeByName(const char* mailNameP, uint16_t maxEntries, char (*hostNames)[256],
                                    uint16_t priorities[], int32_t timeout, Status* errP);
}

extern "C" {
NetSocketRef SockraSocketOpen(uint8_t domain, uint8_t type, int16_t protocol, int32_t timeout, Status* errP);
int16_t SockraSocketClose(NetSocketRef socket, int32_t timeout, Status* errP);
int16_t SockraSocketBind(NetSocketRef socket, const sockra::NetSocketAddrType* sockAddrP, int16_t addrLen,
                         int32_t timeout, Status* errP);
int16_t SockraSocketConnect(NetSocketRef socket, const sockra::NetSocketAddrType* sockAddrP, int16_t addrLen,
                            int32_t timeout, Status* errP);
int16_t SockraSocketListen(NetSocketRef socket, uint16_t queueLen, int32_t timeout, Status* errP);
NetSocketRef SockraSocketAccept(NetSocketRef socket, sockra::NetSocketAddrType* sockAddrP, uint16_t* addrLenP,
                                int32_t timeout, Status* errP);
int16_t SockraSocketShutdown(NetSocketRef socket, uint8_t direction, int32_t timeout, Status* errP);
int16_t SockraSocketAddr(NetSocketRef socket, sockra::NetSocketAddrType* locAddrP, int16_t* locAddrLenP,
                         sockra::NetSocketAddrType* remAddrP, int16_t* remAddrLenP, int32_t timeout,
                         Status* errP);
int16_t SockraSocketOptionSet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                              uint16_t optValueLen, int32_t timeout, Status* errP);
int16_t SockraSocketOptionGet(NetSocketRef socket, uint16_t level, uint16_t option, void* optValueP,
                              uint16_t* optValueLenP, int32_t timeout, Status* errP);
int16_t SockraSend(NetSocketRef socket, const void* bufP, uint16_t bufLen, uint16_t flags,
                   const sockra::NetSocketAddrType* toAddrP, uint16_t toLen, int32_t timeout, Status* errP);
int16_t SockraReceive(NetSocketRef socket, void* bufP, uint16_t bufLen, uint16_t flags,
                      sockra::NetSocketAddrType* fromAddrP, uint16_t* fromLenP, int32_t timeout, Status* errP);
int16_t SockraDmReceive(NetSocketRef socket, void* recordP, uint32_t recordOffset, uint16_t rcvLen,
                        uint16_t flags, sockra::NetSocketAddrType* fromAddrP, uint16_t* fromLenP,
                        int32_t timeout, Status* errP);
int16_t SockraSelect(uint16_t width, uint32_t* readMaskP, uint32_t* writeMaskP, uint32_t* exceptMaskP,
                     int32_t timeout, Status* errP);
int16_t SockraSendPB(NetSocketRef socket, void* pbP, uint16_t flags, int32_t timeout, Status* errP);
int16_t SockraReceivePB(NetSocketRef socket, void* pbP, uint16_t flags, int32_t timeout, Status* errP);
}

namespace sockra {
// Socket monitor (option 0x2003, close): starts or re-arms, and stops the monitor of one socket.
void SockraMonitorStart(NetSocketRef ref, uint32_t notifyType);
void SockraMonitorStop(NetSocketRef ref);
}  // namespace sockra

namespace sockra {
// The library lock: reserves the library mutex and yields the current globals record.
Status SockraLock(SockraGlobalsHeader** globalsPP, int32_t timeout);
void SockraUnlock(SockraGlobalsHeader* globalsP);
const char* SockraTraceName(uint32_t code);
// Trace-callback events of the open record: enter (1), exit (2) and error (3).
// Forgets the interface drivers' entries (at the library's full close).
void SockraIFDriversForget();
void SockraTraceEnter(uint32_t code);
void SockraTraceExit(uint32_t code);
void SockraTraceError(uint32_t code, Status err);
SockraCmdPB* CmdPBCheckout(SockraOpenRecord* g, uint8_t noWait);
void CmdPBCheckin(SockraOpenRecord* g, SockraCmdPB* pb);
}  // namespace sockra

extern "C" {
Status SockraTracePrintF(const char* formatStr, ...);
Status SockraTracePutS(const char* strP);
Status SockraDrvrWake(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
Status SockraIFMediaUp(uint32_t a, uint16_t b, uint32_t c);
Status SockraIFMediaDown(uint32_t a, uint16_t b);
}

extern "C" {
Status SockraPrefsGet(uint32_t type, uint16_t id, void* bufP, uint16_t* sizeP);
Status SockraPrefsSet(uint32_t type, uint16_t id, const void* dataP, uint16_t size);
Status SockraPrefsAppend(uint32_t type, uint16_t id, const void* dataP, uint16_t size, uint16_t maxSize);
Status SockraSettingGet(uint16_t setting, void* valueP, uint16_t* valueLenP);
Status SockraSettingSet(uint16_t setting, const void* valueP, uint16_t valueLen);
Status SockraConfigList(char (*nameArray)[32], uint16_t* countP);
Status SockraConfigIndexFromName(const char* nameP, uint16_t* indexP);
Status SockraConfigMakeActive(uint16_t index);
Status SockraConfigSave(const char* nameP);
Status SockraConfigRename(uint16_t index, const char* newNameP);
Status SockraConfigDelete(uint16_t index);
Status SockraConfigAliasSet(uint16_t aliasIndex, uint16_t targetIndex);
Status SockraConfigAliasGet(uint16_t aliasIndex, uint16_t* indexP, uint8_t* isAnotherAliasP);
Status SockraIFGet(uint16_t index, uint32_t* creatorP, uint16_t* instanceP);
Status SockraIFAttach(uint32_t creator, uint16_t instance, uint32_t timeout);
Status SockraIFDetach(uint32_t creator, uint16_t instance, uint32_t timeout);
Status SockraIFUp(uint32_t creator, uint16_t instance);
Status SockraIFDown(uint32_t creator, uint16_t instance, uint32_t timeout);
Status SockraIFSettingGet(uint32_t creator, uint16_t instance, uint16_t setting, void* valueP, uint16_t* valueLenP);
Status SockraIFSettingSet(uint32_t creator, uint16_t instance, uint16_t setting, const void* valueP,
                          uint16_t valueLen);
Status SockraInterfacePtr(uint32_t creator, uint16_t instance, void** ifPP);
Status SockraMaster(uint16_t command, void* pbP, int32_t timeout);
uint32_t SockraTuningValueGet();
}

namespace sockra {
struct NetConfigList;
// The configuration list: loaded into a new block (the caller frees it with os::MemPtrFree) and
// written back.
Status SockraConfigListLoad(NetConfigList** listPP);
Status SockraConfigListStore(const NetConfigList* list);
// Makes a configuration active, keeping the live settings as the previous ones when asked.
Status SockraConfigActivate(NetConfigList* list, uint16_t index, bool keepPrevious);
// SockraMaxSockets: feature 'sokr' 6, read once.
uint16_t SockraMaxSocketsGet();
}  // namespace sockra

// Interface information filled by SockraMaster command 0.
struct NetMasterIFInfoType {
    uint16_t index;
    uint32_t creator;
    uint16_t instance;
    char ifName[8];
    char driverName[16];
    char hwName[16];
    uint8_t up;
    uint32_t setting20, setting23, localIP, setting4, setting5;
};

extern "C" {
Status SockraOpen(uint16_t* netIFErrsP);
Status SockraOpenConfig(uint16_t configIndex, uint32_t openFlags, uint16_t* netIFErrsP);
Status SockraOpenCount(uint16_t* countP);
Status SockraOpenIfCloseWait();
Status SockraClose(uint16_t immediate);
Status SockraFinishCloseWait();
Status SockraConnectionRefresh(uint8_t refresh, uint8_t* allInterfacesUpP, uint16_t* netIFErrsP);
Status SockraSleep();
Status SockraWake();
Status SockraHandlePowerOff(void* eventP);
}

namespace sockra {
// Install (launch code 0x7FFE): features, the library mutex, the small record, "Net Prefs".
Status SockraInstall();
// The module's launch handler.
uint32_t SockraLaunch(uint16_t launchCode, void* param, uint16_t flags);
}  // namespace sockra

namespace sockra {
using SockraEntry = void (*)();  // a ModuleProc
// The export table, kSockraSlotCount entries in slot order.
SockraEntry* SockraExportTable();
}  // namespace sockra
