// Compressed bitmap rows: exact bytes of each form on hand-checked rows, round trips of whole
// bitmaps through the dispatchers, the RLE carry between rows, hostile streams, the limits, and
// PackBits against an independent Python coder.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kez/src/ScanLineCodecs.h"
#include "kez/tests/KezTestSupport.h"

namespace {

using namespace kez;
using Bytes = std::vector<uint8_t>;

Bytes Repeat(size_t n, uint8_t v) {
    return Bytes(n, v);
}
Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes Iota(size_t n, uint8_t from = 0) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(from + i);
    return out;
}

// Encodes one row through the dispatcher with a fresh state (depth 16 for the 16-bit form).
Bytes Encode(uint8_t type, const Bytes& row, uint8_t depth = 8) {
    ScanLineCodecState state{};
    state.depth = depth;
    Bytes out(2 * row.size() + 16);
    int32_t n = PrvCompressRow(type, row.data(), static_cast<uint32_t>(row.size()), out.data(),
                               static_cast<uint32_t>(out.size()), &state);
    EXPECT_GE(n, 0);
    out.resize(n < 0 ? 0 : n);
    return out;
}

TEST(ScanLineCodecs, WriteTheExactBytesOfEachForm) {
    const Bytes ten = Iota(10, 0x41);
    struct Case {
        const char* what;
        uint8_t type;
        uint8_t depth;
        Bytes row;
        Bytes expected;
    } cases[] = {
        {"scan-line first row",
         0,
         8,
         ten,
         {0xFF, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0xC0, 0x49, 0x4A}},
        {"scan-line 3-byte last group", 0, 8, Iota(3, 1), {0xE0, 1, 2, 3}},
        {"RLE 300 equal", 1, 8, Repeat(300, 7), {0xFF, 7, 0x2D, 7}},
        {"RLE mixed", 1, 8, {5, 5, 6}, {2, 5, 1, 6}},
        {"PackBits 300 equal", 2, 8, Repeat(300, 7), {0x81, 7, 0x81, 7, 0xD5, 7}},
        {"PackBits pair in a literal", 2, 8, {9, 9, 1, 2}, {3, 9, 9, 1, 2}},
        {"PackBits literal, run, literal", 2, 8, {1, 2, 3, 3, 3, 4}, {1, 1, 2, 0xFE, 3, 0, 4}},
        {"PackBits run of 130 then 2 left", 2, 8, Concat({Repeat(130, 8), {9}}), {0x81, 8, 2, 8, 8, 9}},
        {"PackBits triple at the end", 2, 8, {1, 2, 2, 2}, {0, 1, 0xFE, 2}},
        {"PackBits literal of 130", 2, 8, Iota(130), Concat({{126}, Iota(127), {2, 127, 128, 129}})},
        {"PackBits16 run keeps byte order", 2, 16, {0x12, 0x34, 0x12, 0x34, 0x12, 0x34}, {0xFE, 0x12, 0x34}},
        {"PackBits16 compares whole pixels",
         2,
         16,
         {0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22},
         {2, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encode(c.type, c.row, c.depth), c.expected) << c.what;
    for (uint8_t type : {0, 1, 2}) EXPECT_TRUE(Encode(type, {}, type == 2 ? 16 : 8).empty());
}

TEST(ScanLineCodecs, ScanLineRowsCarryOnlyWhatChanged) {
    ScanLineCodecState state{};
    Bytes first = Iota(10), second = first, out(32);
    second[0] = 0xAA;
    second[9] = 0xBB;
    ASSERT_EQ(PrvCompressRow(0, first.data(), 10, out.data(), 32, &state), 12);
    EXPECT_EQ(PrvCompressRow(0, first.data(), 10, out.data(), 32, &state), 2);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 2), (Bytes{0, 0}));
    ASSERT_EQ(PrvCompressRow(0, second.data(), 10, out.data(), 32, &state), 4);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x80, 0xAA, 0x40, 0xBB}));

    // Decoding applies the changes to the previous row and ignores flag bits past the row's end.
    Bytes row = first;
    const uint8_t stream[] = {0x80, 0xAA, 0x7F, 0xBB};
    EXPECT_EQ(PrvScanLineDecompress(stream, sizeof stream, row.data(), 10), 4);
    EXPECT_EQ(row, (Bytes{0xAA, 1, 2, 3, 4, 5, 6, 7, 8, 0xBB}));
}

// Rows built to hit each form's edges: runs at both ends, runs of 2, 3, 127 to 130, 255, 256 and
// more, literals longer than 127, rows repeated and rows that differ in one byte.
std::vector<Bytes> EdgeRows(size_t rowBytes, std::mt19937& rng) {
    std::vector<Bytes> rows;
    const size_t lengths[] = {1, 2, 3, 4, 127, 128, 129, 130, 254, 255, 256, 300};
    for (int r = 0; r < 24; ++r) {
        Bytes row;
        while (row.size() < rowBytes) {
            size_t n = lengths[rng() % std::size(lengths)];
            bool run = rng() % 2;
            uint8_t v = static_cast<uint8_t>(rng() % 4);  // few values: pairs and triples happen
            for (size_t i = 0; i < n && row.size() < rowBytes; ++i)
                row.push_back(run ? v : static_cast<uint8_t>(rng() % (r % 3 ? 256 : 3)));
        }
        if (r % 5 == 4) row = rows.back();
        if (r % 7 == 6 && rowBytes) row[rng() % rowBytes] ^= 0x5A;
        rows.push_back(row);
    }
    return rows;
}

TEST(ScanLineCodecs, WholeBitmapsRoundTripThroughTheDispatchers) {
    std::mt19937 rng(20261210);
    struct Form {
        uint8_t type;
        uint8_t depth;
    } forms[] = {{0, 8}, {1, 8}, {2, 8}, {2, 16}};
    for (const Form& f : forms) {
        for (size_t rowBytes : {0, 1, 2, 6, 7, 8, 9, 10, 16, 17, 130, 255, 256, 258, 301, 1000}) {
            if (f.depth == 16 && rowBytes % 2) continue;
            SCOPED_TRACE(::testing::Message()
                         << "type " << int(f.type) << " depth " << int(f.depth) << " row bytes " << rowBytes);
            std::vector<Bytes> rows = EdgeRows(rowBytes, rng);
            ScanLineCodecState encoder{};
            encoder.depth = f.depth;
            Bytes stream(rows.size() * (2 * rowBytes + 2));
            std::vector<int32_t> sizes;
            uint32_t used = 0;
            for (const Bytes& row : rows) {
                int32_t n =
                    PrvCompressRow(f.type, row.data(), static_cast<uint32_t>(rowBytes), stream.data() + used,
                                   static_cast<uint32_t>(stream.size() - used), &encoder);
                ASSERT_GE(n, 0);
                sizes.push_back(n);
                used += n;
            }
            // Decoded from a buffer of exactly the stream's size, so ASan sees any over-read.
            Bytes exact(stream.begin(), stream.begin() + used);
            ScanLineCodecState decoder{};
            decoder.depth = f.depth;
            Bytes row(rowBytes);
            uint32_t at = 0;
            for (size_t r = 0; r < rows.size(); ++r) {
                int32_t n = PrvDecompressRow(f.type, exact.data() + at, used - at, row.data(),
                                             static_cast<uint32_t>(rowBytes), &decoder);
                ASSERT_EQ(n, sizes[r]) << "row " << r;
                ASSERT_EQ(row, rows[r]) << "row " << r;
                at += n;
            }
            EXPECT_EQ(at, used);
        }
    }
}

TEST(ScanLineCodecs, RlePairsCarryIntoTheNextRows) {
    ScanLineCodecState state{};
    Bytes row(4);
    const uint8_t stream[] = {6, 'a', 1, 'b', 3, 'c', 2, 'd'};
    EXPECT_EQ(PrvDecompressRow(1, stream, 8, row.data(), 4, &state), 2);
    EXPECT_EQ(row, Bytes({'a', 'a', 'a', 'a'}));
    EXPECT_EQ(PrvDecompressRow(1, stream + 2, 6, row.data(), 4, &state), 4);
    EXPECT_EQ(row, Bytes({'a', 'a', 'b', 'c'}));
    EXPECT_EQ(PrvDecompressRow(1, stream + 6, 2, row.data(), 4, &state), 2);
    EXPECT_EQ(row, Bytes({'c', 'c', 'd', 'd'}));
    EXPECT_EQ(state.pendingCount, 0);

    // A carried count longer than the row fills whole rows without reading.
    const uint8_t longPair[] = {7, 'x', 1, 'y'};
    Bytes two(2);
    EXPECT_EQ(PrvDecompressRow(1, longPair, 4, two.data(), 2, &state), 2);
    EXPECT_EQ(PrvDecompressRow(1, nullptr, 0, two.data(), 2, &state), 0);
    EXPECT_EQ(PrvDecompressRow(1, nullptr, 0, two.data(), 2, &state), 0);
    EXPECT_EQ(two, Bytes({'x', 'x'}));
    EXPECT_EQ(PrvDecompressRow(1, longPair + 2, 2, two.data(), 2, &state), 2);
    EXPECT_EQ(two, Bytes({'x', 'y'}));
    // A row of no bytes takes nothing from the stream.
    EXPECT_EQ(PrvDecompressRow(1, longPair, 4, two.data(), 0, &state), 0);
}

TEST(ScanLineCodecs, HostileStreamsFailWithinTheirBuffers) {
    struct Case {
        const char* what;
        uint8_t type;
        uint8_t depth;
        uint32_t rowBytes;
        Bytes stream;
    } cases[] = {
        {"scan-line empty", 0, 8, 8, {}},
        {"scan-line flag without its bytes", 0, 8, 10, {0xFF, 1, 2, 3}},
        {"scan-line missing last group", 0, 8, 10, {0x00}},
        {"RLE empty", 1, 8, 4, {}},
        {"RLE half a pair", 1, 8, 4, {2, 'a', 3}},
        {"RLE zero counts run out", 1, 8, 4, {0, 'a', 0, 'b'}},
        {"PackBits empty", 2, 8, 4, {}},
        {"PackBits run past the row", 2, 8, 10, {0x81, 7}},
        {"PackBits -128 on 128 bytes", 2, 8, 128, {0x80, 7}},
        {"PackBits literal past the row", 2, 8, 10, {0x7F, 1, 2}},
        {"PackBits literal cut short", 2, 8, 10, {0x09, 1, 2, 3}},
        {"PackBits run without its byte", 2, 8, 10, {0xFE}},
        {"PackBits16 run without its second byte", 2, 16, 4, {0xFF, 0x12}},
        {"PackBits16 literal past the row", 2, 16, 4, {0x02, 1, 2, 3, 4, 5, 6}},
        {"PackBits16 literal cut short", 2, 16, 4, {0x01, 1, 2, 3}},
        {"unknown type", 3, 8, 4, {4, 'a'}},
        {"uncompressed is no codec", 255, 8, 4, {4, 'a'}},
    };
    for (const Case& c : cases) {
        ScanLineCodecState state{};
        state.depth = c.depth;
        Bytes stream = c.stream;  // exactly sized: ASan reports any read past it
        Bytes row(c.rowBytes + 4, 0xEE);
        EXPECT_EQ(PrvDecompressRow(c.type, stream.data(), static_cast<uint32_t>(stream.size()), row.data(),
                                   c.rowBytes, &state),
                  -1)
            << c.what;
        EXPECT_EQ(Bytes(row.end() - 4, row.end()), Repeat(4, 0xEE)) << c.what;
    }
    // The longest run fits a row of 129.
    ScanLineCodecState state{};
    Bytes row(129);
    const uint8_t longest[] = {0x80, 7};
    EXPECT_EQ(PrvDecompressRow(2, longest, 2, row.data(), 129, &state), 2);
    EXPECT_EQ(row, Repeat(129, 7));
    Bytes out(4);
    EXPECT_EQ(PrvCompressRow(7, row.data(), 4, out.data(), 4, &state), -1);
}

TEST(ScanLineCodecs, EncodersStopAtTheirLimit) {
    Bytes row = Concat({Iota(20), Repeat(40, 3)});
    for (uint8_t type : {0, 1, 2}) {
        for (uint8_t depth : {8, 16}) {
            Bytes encoded = Encode(type, row, depth);
            auto limit = static_cast<uint32_t>(encoded.size());
            ScanLineCodecState state{};
            state.depth = depth;
            Bytes out(limit + 8, 0xEE);
            EXPECT_EQ(PrvCompressRow(type, row.data(), 60, out.data(), limit, &state),
                      static_cast<int32_t>(limit));
            state = ScanLineCodecState{};
            state.depth = depth;
            std::fill(out.begin(), out.end(), 0xEE);
            EXPECT_EQ(PrvCompressRow(type, row.data(), 60, out.data(), limit - 1, &state), -1)
                << "type " << int(type) << " depth " << int(depth);
            EXPECT_EQ(Bytes(out.begin() + limit - 1, out.end()), Repeat(9, 0xEE));
        }
    }
}

TEST(ScanLineCodecs, OldBitmapsAlwaysUseTheScanLineForm) {
    HALBitmap bitmap{};
    bitmap.compressionType = kCompressPackBits;
    for (uint8_t version : {0, 1, 0x81}) {
        bitmap.version = version;
        EXPECT_EQ(PrvBitmapCompressionType(bitmap), kCompressScanLine) << int(version);
    }
    for (uint8_t version : {2, 3, 0x83}) {
        bitmap.version = version;
        EXPECT_EQ(PrvBitmapCompressionType(bitmap), kCompressPackBits) << int(version);
    }
}

class ScanLineWidth : public kez::testing::KezKernelTest {};

TEST_F(ScanLineWidth, RowsOf32768BytesAreAFatalError) {
    Bytes row(32768), out(40000);
    ScanLineCodecState state{};
    EXPECT_EQ(PrvCompressRow(0, row.data(), 32768, out.data(), 40000, &state), -1);
    EXPECT_EQ(PrvDecompressRow(0, out.data(), 40000, row.data(), 32768, &state), -1);
    auto reports = vantor::os::ErrorReports();
    ASSERT_EQ(reports.size(), 2u);
    for (const auto& report : reports) {
        EXPECT_EQ(report.message, "ScrCompressScanLine(): width too big");
        EXPECT_EQ(report.file, "Kez/Common/Hardware/Src/HALDrawUtils");
    }
    // 32767 bytes are still served.
    EXPECT_GT(PrvCompressRow(0, row.data(), 32767, out.data(), 40000, &state), 0);
}

std::string Hex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out.empty() ? "-" : out;
}

Bytes FromHex(const std::string& text) {
    Bytes out;
    if (text == "-") return out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// Python decodes what we encode, and we decode what a differently greedy Python encoder writes
// (runs of 2, literals of 128, the header -128): both forms, a fixed seed.
TEST(ScanLineCodecs, PackBitsAgreesWithAnIndependentCoder) {
    std::mt19937 rng(1210);
    std::vector<std::pair<int, Bytes>> rows;
    for (int unit : {1, 2}) {
        for (size_t rowBytes : {2, 6, 64, 258, 400, 1000})
            for (Bytes& row : EdgeRows(rowBytes, rng)) rows.emplace_back(unit, row);
    }
    std::string path = ::testing::TempDir() + "packbits_rows.txt";
    {
        std::ofstream f(path);
        for (auto& [unit, row] : rows) {
            Bytes encoded = Encode(2, row, unit == 2 ? 16 : 8);
            f << unit << ' ' << Hex(row) << ' ' << Hex(encoded) << '\n';
        }
    }
    std::string command = "/usr/bin/python3 " KEZ_TESTS_DIR "/packbits_oracle.py " + path;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0);
    std::istringstream in(output);
    for (auto& [unit, row] : rows) {
        std::string decodedHex, oracleHex;
        ASSERT_TRUE(in >> decodedHex >> oracleHex) << output.substr(0, 200);
        EXPECT_EQ(FromHex(decodedHex), row);
        Bytes oracle = FromHex(oracleHex), back(row.size());
        ScanLineCodecState state{};
        state.depth = unit == 2 ? 16 : 8;
        EXPECT_EQ(PrvDecompressRow(2, oracle.data(), static_cast<uint32_t>(oracle.size()), back.data(),
                                   static_cast<uint32_t>(row.size()), &state),
                  static_cast<int32_t>(oracle.size()));
        EXPECT_EQ(back, row);
    }
}

}  // namespace
