// Kez as a module: its export table, filled slot by slot from the source file that implements
// each slot (KEZ_SLOT), its own-table calls, and its imports.
#pragma once

#include <type_traits>

#include "common/module/KezCalls.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"

namespace kez {

using vantor::ModuleProc;

// Kez's export table (288 entries); slots without an operation hold fillers.
ModuleProc* ExportTable();
bool RegisterExport(uint16_t slot, ModuleProc entry);
// Whether the slot holds an operation (or a filler by design) rather than the stand-in for a
// missing one.
bool PrvKezSlotHasOperation(uint16_t slot);

// Kez calls its own exported functions through its own table, so that a patched entry (slot 166)
// also redirects Kez's internal calls.
extern vantor::glue::ModuleImport gOwn;
// The 68K environment, the card-slot library and the UI library.
extern vantor::glue::ModuleImport gA68k;
extern vantor::glue::ModuleImport gCardSlot;
extern vantor::glue::ModuleImport gUi;

// Calls Kez's own slot `name` with its signature from KezCalls.h.
#define KEZ_CALL(name, ...) \
    ::kez::gOwn.Call<::vantor::kezsig::name>(::vantor::kezslot::name __VA_OPT__(, ) __VA_ARGS__)

// Calls Kez's own slot `name` with the signature `Sig`, for slots that KezCalls.h does not list.
#define KEZ_CALL_AS(Sig, name, ...) \
    ::kez::gOwn.Call<Sig>(::vantor::kezslot::name __VA_OPT__(, ) __VA_ARGS__)

}  // namespace kez

extern "C" void __SetMyDispatchTable();

// Puts `function` into export slot `name`, checked against the slot's signature in KezCalls.h.
#define KEZ_SLOT(name, function)                                                                  \
    static_assert(std::is_same_v<decltype(function), ::vantor::kezsig::name>,                     \
                  "the function of slot " #name " must have the slot's signature");              \
    [[maybe_unused]] static const bool kezSlot_##name = ::kez::RegisterExport(                    \
        ::vantor::kezslot::name, reinterpret_cast<::vantor::ModuleProc>(&function));

// Puts `function` into the export slot called `name` when KezCalls.h gives that slot no signature.
#define KEZ_SLOT_NAMED(name, function)                                                            \
    [[maybe_unused]] static const bool kezNamed_##name = ::kez::RegisterExport(                   \
        ::vantor::kezslot::name, reinterpret_cast<::vantor::ModuleProc>(&function));

// Puts a filler or a function without a signature in KezCalls.h into export slot `slot`.
#define KEZ_SLOT_FILLER(slot, function)                                                           \
    [[maybe_unused]] static const bool kezFiller_##slot =                                         \
        ::kez::RegisterExport((slot), reinterpret_cast<::vantor::ModuleProc>(&function));
