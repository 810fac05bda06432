// Kez's same-depth bitmap copy and solid fill against memcpy and memset of the same bytes, side by
// side in one run, at 8 and 16 bits on a 320 x 320 screen-sized bitmap. Prints each median rate in
// megabytes per second over five rounds and the ratio of ours to the C library's.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/BenchStats.h"
#include "common/module/KezDraw.h"
#include "kez/src/KezModule.h"

using namespace vantor;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSide = 320, kRounds = 300, kPairs = 5;

template <typename F>
double Rate(size_t bytes, F&& body) {
    body();  // warm up
    auto t0 = Clock::now();
    for (int i = 0; i < kRounds; ++i) body();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    return bytes * double(kRounds) / s / 1e6;
}

HALBitmap Make(std::vector<uint8_t>& memory, uint8_t depth) {
    HALBitmap b{};
    b.width = b.height = kSide;
    b.rowBytes = static_cast<uint16_t>(kSide * depth / 8);
    b.pixelSize = depth;
    b.pixelFormat = depth == 16 ? 2 : 0;
    b.density = 72;
    b.headerSize = 36;
    memory.assign(size_t{b.rowBytes} * kSide, 0x33);
    b.bits = memory.data();
    return b;
}

}  // namespace

int main() {
    __SetMyDispatchTable();
    for (uint8_t depth : {uint8_t{8}, uint8_t{16}}) {
        std::vector<uint8_t> a, b;
        HALBitmap source = Make(a, depth), dest = Make(b, depth);
        size_t bytes = a.size();
        HALDrawAttributes attributes{};
        attributes.foreIndex = 7;
        attributes.foreColor = {0, 200, 100, 50};
        HALDrawState state{{0, 0, kSide, kSide}, &attributes, &dest};
        HALRect all{0, 0, kSide, kSide};
        const bench::SideBySide copy = bench::MeasurePair(
            kPairs, [&] { return Rate(bytes, [&] { KEZ_CALL(HALDrawBitmap, &state, &source, &all, 0, 0); }); },
            [&] {
                return Rate(bytes, [&] {
                    std::memcpy(b.data(), a.data(), bytes);
                    asm volatile("" ::: "memory");
                });
            });
        const bench::SideBySide fill = bench::MeasurePair(
            kPairs, [&] { return Rate(bytes, [&] { KEZ_CALL(HALDrawRectangle, &state, &all, 0, 0); }); },
            [&] {
                return Rate(bytes, [&] {
                    std::memset(b.data(), 7, bytes);
                    asm volatile("" ::: "memory");
                });
            });
        std::printf("depth %2u  copy %8.0f MB/s  memcpy %8.0f MB/s  ratio %.2f\n", depth, copy.ours, copy.peer,
                    copy.Ratio());
        bench::Result("copy-" + std::to_string(depth), copy.ours, copy.peer, "MB/s");
        std::printf("depth %2u  fill %8.0f MB/s  memset %8.0f MB/s  ratio %.2f\n", depth, fill.ours, fill.peer,
                    fill.Ratio());
        bench::Result("fill-" + std::to_string(depth), fill.ours, fill.peer, "MB/s");
    }
    return 0;
}
