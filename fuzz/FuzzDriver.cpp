// Replay driver for fuzz targets when they are not built with libFuzzer.
//
//   fuzz_<name> [-runs=N] [-seed=S] [-max_len=L] [corpus files or directories...]
//
// Runs the target on every corpus file, then on N inputs made by mutating corpus entries (or
// random bytes when the corpus is empty) with a seeded generator, so a run is repeatable. Any
// sanitizer report or crash fails the run; a sanitizer report first writes the input that caused
// it to ./crash-input, which the driver replays when given as a file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)(void));

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes* gCurrent = nullptr;

void SaveCurrentInput() {
    if (!gCurrent) return;
    if (FILE* f = std::fopen("crash-input", "wb")) {
        std::fwrite(gCurrent->data(), 1, gCurrent->size(), f);
        std::fclose(f);
        std::fprintf(stderr, "fuzz: input written to ./crash-input\n");
    }
}

Bytes ReadFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Mutate(Bytes& b, std::mt19937& rng, size_t maxLen) {
    int steps = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < steps; ++i) {
        switch (rng() % 6) {
            case 0:  // flip a bit
                if (!b.empty()) b[rng() % b.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                break;
            case 1:  // set a byte to an interesting value
                if (!b.empty()) {
                    static const uint8_t v[] = {0, 1, 0x7F, 0x80, 0xFF, 0xBE, 0xEF, 0xED};
                    b[rng() % b.size()] = v[rng() % sizeof v];
                }
                break;
            case 2:  // insert random bytes
                if (b.size() < maxLen) {
                    size_t at = b.empty() ? 0 : rng() % (b.size() + 1);
                    size_t n = 1 + rng() % 8;
                    for (size_t k = 0; k < n && b.size() < maxLen; ++k)
                        b.insert(b.begin() + static_cast<long>(at), static_cast<uint8_t>(rng()));
                }
                break;
            case 3:  // erase a range
                if (!b.empty()) {
                    size_t at = rng() % b.size();
                    size_t n = 1 + rng() % std::min<size_t>(16, b.size() - at);
                    b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
                }
                break;
            case 4:  // truncate
                if (!b.empty()) b.resize(rng() % b.size());
                break;
            default:  // overwrite a 16- or 32-bit field with a random value
                if (b.size() >= 4) {
                    size_t at = rng() % (b.size() - 3);
                    uint32_t v = rng();
                    std::memcpy(&b[at], &v, (rng() & 1) ? 2 : 4);
                }
                break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    long runs = 1000;
    unsigned seed = 1;
    size_t maxLen = 4096;
    std::vector<Bytes> corpus;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("-runs=", 0) == 0) {
            runs = std::strtol(a.c_str() + 6, nullptr, 10);
        } else if (a.rfind("-seed=", 0) == 0) {
            seed = static_cast<unsigned>(std::strtoul(a.c_str() + 6, nullptr, 10));
        } else if (a.rfind("-max_len=", 0) == 0) {
            maxLen = std::strtoul(a.c_str() + 9, nullptr, 10);
        } else if (std::filesystem::is_directory(a)) {
            for (const auto& e : std::filesystem::directory_iterator(a))
                if (e.is_regular_file()) corpus.push_back(ReadFile(e.path()));
        } else if (std::filesystem::is_regular_file(a)) {
            corpus.push_back(ReadFile(a));
        }
    }
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(SaveCurrentInput);
    for (const Bytes& b : corpus) {
        gCurrent = &b;
        LLVMFuzzerTestOneInput(b.data(), b.size());
    }
    std::mt19937 rng(seed);
    Bytes input;
    for (long n = 0; n < runs; ++n) {
        if (!corpus.empty() && rng() % 8 != 0) {
            input = corpus[rng() % corpus.size()];
        } else {
            input.resize(rng() % 64);
            for (auto& c : input) c = static_cast<uint8_t>(rng());
        }
        Mutate(input, rng, maxLen);
        gCurrent = &input;
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("fuzz: %zu corpus inputs and %ld mutated inputs ran cleanly (seed %u)\n", corpus.size(),
                runs, seed);
    return 0;
}
