// The platform layer's records and its internal entries for the other services of Kez.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kez {

// The database record of PALDBCreated and PALDBDeleted (export slots 244, 245).
struct PALDatabaseRecord {
    char name[32];
    uint32_t type;
    uint32_t creator;
};
static_assert(sizeof(PALDatabaseRecord) == 40);

// The change record of PALDBChanged (export slot 246): the new values, the change bits, and the
// old values.
struct PALDatabaseChange {
    char newName[32];
    uint32_t newCreator;   // 32
    uint32_t newType;      // 36
    uint16_t newAttributes;  // 40
    uint16_t newVersion;   // 42
    uint16_t changes;      // 44
    uint16_t reserved;
    char oldName[32];      // 48
    uint32_t oldCreator;   // 80
    uint32_t oldType;      // 84
    uint16_t oldAttributes;  // 88
    uint16_t reserved2;
};
static_assert(sizeof(PALDatabaseChange) == 92);
static_assert(offsetof(PALDatabaseChange, changes) == 44);
static_assert(offsetof(PALDatabaseChange, oldName) == 48);
static_assert(offsetof(PALDatabaseChange, oldAttributes) == 88);

// Copies the configured serial number and a terminator into `buffer` (13 bytes); 0xFFFF when none
// is configured.
uint16_t PrvPALGetSerialNumber(char* buffer);

// Text conversion between the host's encoding and the device's. `source` may be null for "";
// `sourceLength` counts the terminator, or is 0xFFFFFFFF for the string's length plus one.
// `*destinationLength` is the buffer's size on entry and the needed length on return; 0xF401 when
// the buffer is too small.
uint16_t PALConvertEncodingHostToHalvern(const char* source, uint32_t sourceLength, char* destination,
                                         uint32_t* destinationLength);
uint16_t PALConvertEncodingHalvernToHost(const char* source, uint32_t sourceLength, char* destination,
                                         uint32_t* destinationLength);

}  // namespace kez
