// Tagged argument lists of command payloads. Input: the wanted tag and the item count (big-endian
// u16 each), then the list. The list is copied to a buffer of exactly its size, so that the
// sanitizer sees any read past it; found data must lie inside the list.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "brontel/TrelUtil.h"
#include "common/BigEndian.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ProgramModule.h"
#include "standin/os/StandinOs.h"

VANTOR_PROGRAM_AS_MODULE("Brn_")

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (vantor::glue::SetSystemTable(vantor::os::SystemTable()), true);
    (void)ready;
    if (size < 4) return 0;
    vantor::os::Reset();  // forget the reports of the last input
    vantor::os::CaptureOutput(true);
    const std::vector<uint8_t> list(data + 4, data + size);
    const uint8_t* found;
    uint32_t length;
    if (brontel::TrelUtilArgListParse(list.data(), static_cast<uint32_t>(list.size()), vantor::ReadBE16(data + 2),
                                      vantor::ReadBE16(data), &found, &length) &&
        found && (found < list.data() || found + length > list.data() + list.size()))
        std::abort();
    return 0;
}
