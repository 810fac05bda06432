// Registration of a slot's built-in behaviour, from the source file that implements it:
//
//   static void* StandinMemPtrNew(uint32_t size) { ... }
//   VANTOR_OS_SLOT(MemPtrNew, StandinMemPtrNew)
//
// VANTOR_OS_SLOT checks the function against the slot's signature in common/module/SystemCalls.h;
// VANTOR_OS_LIBRARY_SLOT registers an entry of any library by number, unchecked.
#pragma once

#include <type_traits>

#include "common/module/SystemCalls.h"
#include "common/module/SystemSlots.h"
#include "standin/os/StandinOs.h"

namespace vantor::os {
bool RegisterBuiltin(Library library, uint16_t slot, ModuleProc entry);
}  // namespace vantor::os

#define VANTOR_OS_SLOT(name, function)                                                            \
    static_assert(std::is_same_v<decltype(function), ::vantor::syssig::name>,                     \
                  "the behaviour of " #name " must have the signature of its slot");             \
    [[maybe_unused]] static const bool vantorOsSlot_##name = ::vantor::os::RegisterBuiltin(       \
        ::vantor::os::Library::System, ::vantor::sysslot::name,                                   \
        reinterpret_cast<::vantor::ModuleProc>(&function));

#define VANTOR_OS_LIBRARY_SLOT(library, slot, function)                                           \
    [[maybe_unused]] static const bool vantorOsSlot_##function = ::vantor::os::RegisterBuiltin(   \
        ::vantor::os::Library::library, (slot), reinterpret_cast<::vantor::ModuleProc>(&function));
