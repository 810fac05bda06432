// The module's face: its info record ('libf'/'drnx', version 1) and its export table of 32
// operations in slot order.
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"
#include "durnix/Durnix.h"

namespace durnix {
namespace {

template <typename F>
vantor::ModuleProc E(F f) {
    return reinterpret_cast<vantor::ModuleProc>(f);
}

vantor::ModuleProc gExports[vantor::kDurnixSlots] = {
    E(FSLibOpen),           E(FSLibClose),          E(FSLibSleep),         E(FSLibWake),
    E(FSLibAPIVersion),     E(FSCustomControl),     E(FSFilesystemType),   E(FSFileCreate),
    E(FSFileOpen),          E(FSFileClose),         E(FSFileRead),         E(FSFileWrite),
    E(FSFileDelete),        E(FSFileRename),        E(FSFileSeek),         E(FSFileEOF),
    E(FSFileTell),          E(FSFileResize),        E(FSFileGetAttributes), E(FSFileSetAttributes),
    E(FSFileGetDate),       E(FSFileSetDate),       E(FSFileSize),         E(FSDirCreate),
    E(FSDirEntryEnumerate), E(FSVolumeFormat),      E(FSVolumeMount),      E(FSVolumeUnmount),
    E(FSVolumeInfo),        E(FSVolumeGetLabel),    E(FSVolumeSetLabel),   E(FSVolumeSize),
};

const vantor::ModuleInfoRecord gInfo =
    vantor::MakeModuleInfo(vantor::kDurnixType, vantor::kDurnixCreator, vantor::kDurnixVersion, vantor::kDurnixSlots);

}  // namespace

vantor::ModuleProc* DurnixExportTable() { return gExports; }

}  // namespace durnix

VANTOR_MODULE(durnix::gInfo, durnix::DurnixExportTable(), durnix::DurnixModuleEntry)
