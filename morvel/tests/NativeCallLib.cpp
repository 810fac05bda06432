// A native library that 68K code names in TvkNativeCall: its entry calls trap 0xA123 back through
// the callback with one 32-bit argument (5) and answers the trap's D0 plus the user data's word.
#include <cstdint>

extern "C" {
using Callback = uint32_t (*)(void* context, uint32_t t, const void* arguments, uint32_t sizeAndFlags);

__attribute__((visibility("default"))) uint32_t NativeAdd(void* context, void* userData, Callback callback) {
    const uint8_t argument[4] = {0, 0, 0, 5};
    uint32_t d0 = callback(context, 0x123, argument, 4);
    const auto* data = static_cast<const uint8_t*>(userData);
    return d0 + (data ? data[3] : 0);
}
}
