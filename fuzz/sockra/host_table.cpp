// The host table of setting 8 as stored in "Net Prefs": any bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sockra/SockraPrefs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t n = sockra::NetHostTableParse(data, size, nullptr, 0);
    std::vector<uint8_t> out(n);
    if (sockra::NetHostTableParse(data, size, out.data(), out.size()) != n) abort();
    if (n < 2 || out[n - 1] != 0 || out[n - 2] != 0) abort();
    // A short buffer is filled only as far as it goes.
    std::vector<uint8_t> part(n / 2);
    sockra::NetHostTableParse(data, size, part.data(), part.size());
    return 0;
}
