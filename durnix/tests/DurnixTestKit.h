// A mounted volume on a real temporary folder, for the tests of the library's operations: the
// stand-in OS, a card slot whose folder is the volume's root, and the two entries of the 68K
// environment that a mount uses.
#pragma once

#include <cstdint>
#include <string>

#include "durnix/Durnix.h"
#include "standin/os/StandinTest.h"

namespace durnix::test {

// Calls of the 68K environment's context slots made by the library.
struct ContextCalls {
    int current = 0;
    int global = 0;
};
ContextCalls& A68kContextCalls();

// A 68K mount parameter record (big-endian, as a 68K caller holds it).
struct MountRecord68K {
    uint8_t bytes[12];
    MountRecord68K(uint16_t volRefNum, uint32_t mountClass, uint16_t slotLibRefNum, uint16_t slotRefNum);
    uint32_t Address() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(bytes)); }
};

class VolumeTest : public vantor::os::StandinTest {
protected:
    static constexpr uint16_t kVol = 1, kSlot = 3, kSlotLib = 7;
    void SetUp() override;
    void TearDown() override;

    // Mounts `root` as volume `vol` on card slot `slot`.
    Status Mount(uint16_t vol, uint16_t slot, const std::string& root, bool readOnly = false);
    // The host file below the temporary folder, its bytes, and a new one.
    std::string Host(const std::string& relative) const { return top_ + "/" + relative; }
    static std::string Contents(const std::string& path);
    static void Write(const std::string& path, const std::string& bytes);
    FileRef Open(const char* path, uint16_t mode);

    std::string top_;   // the temporary folder
    std::string root_;  // top_/card, the volume's root
};

}  // namespace durnix::test
