// Slot numbers of the OS host-control library ('hstl'/'host', version 1, 114 entries) that the
// modules call. The library has no names of its own for them here: HostEntry<n> is entry n.
#pragma once

#include <cstdint>

#define VANTOR_HOST_CONTROL_SLOTS(X) \
    X(1, HostEntry1)      \
    X(2, HostEntry2)      \
    X(3, HostEntry3)      \
    X(4, HostEntry4)      \
    X(7, HostEntry7)      \
    X(8, HostEntry8)      \
    X(9, HostEntry9)      \
    X(10, HostEntry10)    \
    X(11, HostEntry11)    \
    X(13, HostEntry13)    \
    X(14, HostEntry14)    \
    X(15, HostEntry15)    \
    X(16, HostEntry16)    \
    X(18, HostEntry18)    \
    X(20, HostEntry20)    \
    X(21, HostEntry21)    \
    X(23, HostEntry23)    \
    X(24, HostEntry24)    \
    X(25, HostEntry25)    \
    X(26, HostEntry26)    \
    X(27, HostEntry27)    \
    X(30, HostEntry30)    \
    X(32, HostEntry32)    \
    X(33, HostEntry33)    \
    X(36, HostEntry36)    \
    X(37, HostEntry37)    \
    X(39, HostEntry39)    \
    X(40, HostEntry40)    \
    X(50, HostEntry50)    \
    X(51, HostEntry51)    \
    X(52, HostEntry52)    \
    X(53, HostEntry53)    \
    X(54, HostEntry54)    \
    X(55, HostEntry55)    \
    X(56, HostEntry56)    \
    X(57, HostEntry57)    \
    X(58, HostEntry58)    \
    X(59, HostEntry59)    \
    X(60, HostEntry60)    \
    X(65, HostEntry65)    \
    X(66, HostEntry66)    \
    X(82, HostEntry82)    \
    X(88, HostEntry88)    \
    X(89, HostEntry89)    \
    X(90, HostEntry90)    \
    X(91, HostEntry91)    \
    X(99, HostEntry99)    \
    X(100, HostEntry100)  \
    X(101, HostEntry101)  \
    X(113, HostEntry113) 

namespace vantor::hostslot {

#define VANTOR_SLOT_CONSTANT(number, name) constexpr uint16_t name = number;
VANTOR_HOST_CONTROL_SLOTS(VANTOR_SLOT_CONSTANT)
#undef VANTOR_SLOT_CONSTANT

}  // namespace vantor::hostslot

namespace vantor {

constexpr uint16_t kHostControlSlotCount = 114;

// The name of a slot listed above, or null.
const char* HostControlSlotName(uint16_t slot);

}  // namespace vantor
