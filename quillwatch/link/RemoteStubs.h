// Host stubs of device OS functions: each runs the function of the same name on the device by a
// remote call and returns its D0 (a 16-bit status or value, or a 32-bit value) or its A0 (a device
// address). Arguments are host values; device addresses and handles are u32; out-arguments are
// host pointers (an empty one is sent as 4 zero bytes and skipped on return); names are 32-byte
// buffers (input names may be shorter texts). Every failure of the link or the reply is thrown
// with ErrThrow, so callers run the stubs inside an ErrTry frame.
#pragma once

#include <cstdint>

#include "common/Status.h"

namespace quillwatch {

using vantor::Status;

void SysColdBoot(uint32_t card0P, uint32_t card0Size, uint32_t card1P, uint32_t card1Size, uint32_t sysCardHeaderOffset);
void SysReset();
Status SysKernelInfo(void* info64);
Status FtrUnregister(uint32_t creator, uint16_t featureNum);
Status FtrGet(uint32_t creator, uint16_t featureNum, uint32_t* valueP);
Status FtrSet(uint32_t creator, uint16_t featureNum, uint32_t newValue);
Status FtrGetByIndex(uint16_t index, uint8_t romTable, uint32_t* creatorP, uint16_t* numP, uint32_t* valueP);
uint32_t HwrMemWritable(uint32_t address);
uint32_t HwrMemReadable(uint32_t address);
uint16_t MemNumCards();
Status MemCardInfo(uint16_t cardNo, char* cardName32, char* manufName32, uint16_t* versionP, uint32_t* crDateP,
                   uint32_t* romSizeP, uint32_t* ramSizeP, uint32_t* freeBytesP);
Status MemStoreInfo(uint16_t cardNo, uint16_t storeNumber, uint16_t* versionP, uint16_t* flagsP, char* name32,
                    uint32_t* crDateP, uint32_t* bckUpDateP, uint32_t* heapListOffsetP, uint32_t* initCodeOffset1P,
                    uint32_t* initCodeOffset2P, uint32_t* databaseDirIDP);
uint16_t MemNumHeaps(uint16_t cardNo);
uint16_t MemHeapID(uint16_t cardNo, uint16_t heapIndex);
uint16_t MemHeapDynamic(uint16_t heapID);
uint32_t MemHeapPtr(uint16_t heapID);
Status MemHeapFreeBytes(uint16_t heapID, uint32_t* freeP, uint32_t* maxP);
uint32_t MemHeapSize(uint16_t heapID);
uint16_t MemHeapFlags(uint16_t heapID);
Status MemHeapCompact(uint16_t heapID);
uint32_t MemChunkNew(uint16_t heapID, uint32_t size, uint16_t attr);
Status MemChunkFree(uint32_t chunkDataP);
uint32_t MemPtrRecoverHandle(uint32_t p);
uint16_t MemPtrFlags(uint32_t p);
uint32_t MemPtrSize(uint32_t p);
uint16_t MemPtrOwner(uint32_t p);
uint16_t MemPtrHeapID(uint32_t p);
Status MemPtrSetOwner(uint32_t p, uint16_t owner);
Status MemPtrResize(uint32_t p, uint32_t newSize);
Status MemPtrUnlock(uint32_t p);
uint16_t MemHandleLockCount(uint32_t h);
uint32_t MemHandleSize(uint32_t h);
uint16_t MemHandleFlags(uint32_t h);
uint16_t MemHandleOwner(uint32_t h);
uint16_t MemHandleHeapID(uint32_t h);
uint32_t MemHandleToLocalID(uint32_t h);
uint32_t MemHandleLock(uint32_t h);
Status MemHandleUnlock(uint32_t h);
uint32_t MemLocalIDToGlobal(uint32_t local, uint16_t cardNo);
uint16_t MemLocalIDKind(uint32_t local);
uint32_t MemLocalIDToPtr(uint32_t local, uint16_t cardNo);
uint32_t MemLocalIDToLockedPtr(uint32_t local, uint16_t cardNo);
Status MemHeapScramble(uint16_t heapID);
Status MemSetDebugMode(uint16_t flags);
uint16_t MemDebugMode();
Status DmCreateDatabase(uint16_t cardNo, const char* name, uint32_t creator, uint32_t type, uint8_t resDB);
Status DmDeleteDatabase(uint16_t cardNo, uint32_t dbID);
uint16_t DmNumDatabases(uint16_t cardNo);
uint32_t DmGetDatabase(uint16_t cardNo, uint16_t index);
Status DmGetNextDatabaseByTypeCreator(uint8_t newSearch, void* stateInfo32, uint32_t type, uint32_t creator,
                                      uint8_t onlyLatestVers, uint16_t* cardNoP, uint32_t* dbIDP);
uint32_t DmFindDatabase(uint16_t cardNo, const char* name);
Status DmDatabaseInfo(uint16_t cardNo, uint32_t dbID, char* name32, uint16_t* attributesP, uint16_t* versionP,
                      uint32_t* crDateP, uint32_t* modDateP, uint32_t* bckUpDateP, uint32_t* modNumP,
                      uint32_t* appInfoIDP, uint32_t* sortInfoIDP, uint32_t* typeP, uint32_t* creatorP);
Status DmSetDatabaseInfo(uint16_t cardNo, uint32_t dbID, const char* name, uint16_t* attributesP, uint16_t* versionP,
                         uint32_t* crDateP, uint32_t* modDateP, uint32_t* bckUpDateP, uint32_t* modNumP,
                         uint32_t* appInfoIDP, uint32_t* sortInfoIDP, uint32_t* typeP, uint32_t* creatorP);
Status DmDatabaseSize(uint16_t cardNo, uint32_t dbID, uint32_t* numRecordsP, uint32_t* totalBytesP,
                      uint32_t* dataBytesP);
uint32_t DmOpenDatabase(uint16_t cardNo, uint32_t dbID, uint16_t mode);
Status DmCloseDatabase(uint32_t dbP);
uint32_t DmNextOpenDatabase(uint32_t currentP);
Status DmOpenDatabaseInfo(uint32_t dbP, uint32_t* dbIDP, uint16_t* openCountP, uint16_t* modeP, uint16_t* cardNoP,
                          uint8_t* resDBP);
Status DmGetLastErr();
uint16_t DmNumRecords(uint32_t dbP);
Status DmRecordInfo(uint32_t dbP, uint16_t index, uint16_t* attrP, uint32_t* uniqueIDP, uint32_t* chunkIDP);
Status DmSetRecordInfo(uint32_t dbP, uint16_t index, uint16_t* attrP, uint32_t* uniqueIDP);
Status DmMoveRecord(uint32_t dbP, uint16_t from, uint16_t to);
uint32_t DmNewRecord(uint32_t dbP, uint16_t* atP, uint32_t size);
Status DmRemoveRecord(uint32_t dbP, uint16_t index);
Status DmDeleteRecord(uint32_t dbP, uint16_t index);
uint32_t DmNewHandle(uint32_t dbP, uint32_t size);
Status DmStrCopy(uint32_t recordP, uint32_t offset, const char* text);
Status DmFindRecordByID(uint32_t dbP, uint32_t uniqueID, uint16_t* indexP);
uint32_t DmQueryRecord(uint32_t dbP, uint16_t index);
uint32_t DmResizeRecord(uint32_t dbP, uint16_t index, uint32_t newSize);
Status DmReleaseRecord(uint32_t dbP, uint16_t index, uint8_t dirty);
uint32_t DmGetResource(uint32_t type, uint16_t resID);
Status DmReleaseResource(uint32_t resourceH);
uint32_t DmResizeResource(uint32_t resourceH, uint32_t newSize);
uint16_t DmFindResource(uint32_t dbP, uint32_t resType, uint16_t resID, uint32_t resH);
uint16_t DmNumResources(uint32_t dbP);
Status DmResourceInfo(uint32_t dbP, uint16_t index, uint32_t* resTypeP, uint16_t* resIDP, uint32_t* chunkLocalIDP);
Status DmSetResourceInfo(uint32_t dbP, uint16_t index, uint32_t* resTypeP, uint16_t* resIDP);
Status DmAttachResource(uint32_t dbP, uint32_t newH, uint32_t resType, uint16_t resID);
uint32_t DmNewResource(uint32_t dbP, uint32_t resType, uint16_t resID, uint32_t size);
Status DmRemoveResource(uint32_t dbP, uint16_t index);
uint32_t DmGetResourceIndex(uint32_t dbP, uint16_t index);
Status EvtEnqueueKey(uint16_t ascii, uint16_t keycode, uint16_t modifiers);
uint32_t FrmGetActiveForm();
uint32_t FrmGetWindowHandle(uint32_t formP);
uint32_t FrmGetTitle(uint32_t formP);
uint16_t FrmGetFormId(uint32_t formP);
uint16_t FrmGetFocus(uint32_t formP);
uint16_t FrmGetObjectType(uint32_t formP, uint16_t objIndex);
uint32_t FrmGetObjectPtr(uint32_t formP, uint16_t objIndex);
// The rectangle: 4 x i16 (left, top, width, height), host order on return.
void FrmGetObjectBounds(uint32_t formP, uint16_t objIndex, void* rect8);
uint16_t FrmGetNumberOfObjects(uint32_t formP);
// The field's attribute word, its bit-fields in host order on return.
void FldGetAttributes(uint32_t fldP, void* attr2);
uint32_t TblGetCurrentField(uint32_t tableP);
uint32_t WinGetActiveWindow();
uint32_t WinSetDrawWindow(uint32_t winHandle);
void WinGetWindowExtent(int16_t* extentX, int16_t* extentY);
void WinWindowToDisplayPt(int16_t* extentX, int16_t* extentY);
void WinGetDrawWindowBounds(void* rect8);
uint32_t SysGetAppInfo(uint32_t* rootAppPP, uint32_t* actionCodeAppPP);
Status DmAttachRecord(uint32_t dbP, uint16_t* atP, uint32_t newH, uint32_t* oldHP);
Status DmDetachRecord(uint32_t dbP, uint16_t index, uint32_t* oldHP);

}  // namespace quillwatch
