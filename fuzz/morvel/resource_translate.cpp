// 68K UI resources translated to their native layouts. Input: one byte choosing the resource type
// (integer, alert, font, menu bar, bitmap family, form), then the resource's bytes as the
// application's database holds them; the translation may read only those bytes, and it either
// fails with an error or gives a native image.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/FourCC.h"
#include "common/module/ModuleGlue.h"
#include "morvel/traps/ResourceTranslate.h"
#include "standin/os/StandinOs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready =
        (vantor::glue::SetSystemTable(vantor::os::SystemTable()), vantor::os::CaptureOutput(true), true);
    (void)ready;
    if (size < 1) return 0;
    static const uint32_t kTypes[] = {vantor::FourCC("tint"), vantor::FourCC("Talt"), vantor::FourCC("NFNT"),
                                      vantor::FourCC("MBAR"), vantor::FourCC("Tbmp"), vantor::FourCC("tFRM")};
    const uint32_t type = kTypes[data[0] % 6];
    // Exactly the resource's bytes, so that the sanitizer sees any read beyond them.
    std::vector<uint8_t> image(data + 1, data + size);
    std::vector<uint8_t> native;
    const uint16_t err =
        morvel::RsrcTranslateImage(type, image.data(), static_cast<uint32_t>(image.size()), &native);
    if (err == 0 && native.empty() && !image.empty() && type != vantor::FourCC("tFRM")) std::abort();
    if (err != 0 && err != morvel::kRsrcErrParam && err != morvel::kRsrcErrNoMemory) std::abort();
    static int runs = 0;
    if (++runs % 1000 == 0) vantor::os::Reset();  // the reports of structural errors pile up
    return 0;
}
