// A skin file's text and a picture: the first byte chooses which parser gets the rest. Every
// input ends in a skin or an error message, with turned pictures and regions inside their bounds.
#include <cstdint>
#include <string>
#include <vector>

#include "tamsk/host/Skin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tamsk;
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string error;
    if (data[0] & 1) {
        std::vector<uint32_t> pixels;
        int32_t width = 0, height = 0;
        if (SkinParsePpm(rest, &pixels, &width, &height, &error)) {
            if (pixels.size() != size_t(width) * size_t(height)) __builtin_trap();
            SkinRotate(&pixels, &width, &height, 90 * (data[0] >> 1 & 3));
            if (pixels.size() != size_t(width) * size_t(height)) __builtin_trap();
        }
        return 0;
    }
    Skin skin;
    // Pictures are looked up in a folder that holds none.
    if (SkinParse(rest, "/nonexistent", &skin, &error)) {
        for (const SkinRegion& region : skin.regions) {
            if (SkinRegionAt(skin, region.left, region.top) == nullptr) __builtin_trap();
            int32_t x = region.right - region.left, y = region.bottom - region.top;
            SkinTurnTouch(skin.rotation, 240, 320, &x, &y);
        }
    }
    return 0;
}
