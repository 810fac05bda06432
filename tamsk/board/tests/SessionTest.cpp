#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tamsk/board/Session.h"
#include "tamsk/board/tests/TestFiles.h"

namespace tamsk {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kOracle = VANTOR_SOURCE_DIR "/tamsk/board/tests/session_oracle.py";

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command << "\n" << out;
    return out;
}

std::string Sha256(const std::string& path) {
    const std::string line = Shell("sha256sum '" + path + "'");
    return line.substr(0, 64);
}

TEST(Session, WrittenChunksReadByPythonZlib) {
    TempDir dir;
    SessSetPath((dir / "s.aes").c_str());
    // A large compressible block, a small record, and an incompressible one.
    std::vector<uint8_t> big(3 * 1024 * 1024, 0xFF);
    for (size_t i = 0; i < big.size(); i += 4099) big[i] = uint8_t(i);
    const char record[] = "roc>";
    std::vector<uint8_t> noise(20000);
    uint32_t x = 1;
    for (auto& b : noise) b = uint8_t((x = x * 1103515245 + 12345) >> 24);

    SessTruncate();
    ASSERT_TRUE(SessWriteChunk(FourCC(">big"), big.data(), uint32_t(big.size())));
    ASSERT_TRUE(SessWriteChunk(FourCC(">cor"), record, 4));
    ASSERT_TRUE(SessWriteChunk(FourCC(">rnd"), noise.data(), uint32_t(noise.size())));
    ASSERT_TRUE(SessFinishSave());

    WriteFile(dir / "big", std::string(big.begin(), big.end()));
    WriteFile(dir / "rnd", std::string(noise.begin(), noise.end()));
    const std::string dump = Shell("python3 " + kOracle + " dump " + (dir / "s.aes"));
    // The tag's first character is the high byte: ">cor" is stored as the bytes "roc>".
    const std::string raw = ReadFile(dir / "s.aes");
    EXPECT_NE(raw.find("roc>"), std::string::npos);
    EXPECT_EQ(raw.find(">cor"), std::string::npos);
    std::istringstream lines(dump);
    std::string tag, hash;
    uint32_t length, packed;
    lines >> tag >> length >> packed >> hash;
    EXPECT_EQ(tag, ">big");
    EXPECT_EQ(length, big.size());
    EXPECT_LT(packed, big.size() / 50);  // level 1 still packs erased memory well
    EXPECT_EQ(hash, Sha256(dir / "big"));
    lines >> tag >> length >> packed >> hash;
    EXPECT_EQ(tag, ">cor");
    EXPECT_EQ(length, 4u);
    lines >> tag >> length >> packed >> hash;
    EXPECT_EQ(tag, ">rnd");
    EXPECT_EQ(hash, Sha256(dir / "rnd"));

    // And back.
    std::vector<uint8_t> again(big.size());
    ASSERT_TRUE(SessReadChunk(FourCC(">big"), again.data(), uint32_t(again.size())));
    EXPECT_EQ(again, big);
}

TEST(Session, ChunksWrittenByPythonAreFoundByTagAndLength) {
    TempDir dir;
    const std::string path = dir / "py.aes";
    const int m16Length = std::stoi(Shell("python3 " + kOracle + " write " + path));
    SessSetPath(path.c_str());

    char shortBody[5];
    ASSERT_TRUE(SessReadChunk(FourCC(">two"), shortBody, 5));
    EXPECT_EQ(std::string(shortBody, 5), "short");
    std::vector<uint8_t> longBody(1024);
    ASSERT_TRUE(SessReadChunk(FourCC(">two"), longBody.data(), 1024));
    EXPECT_EQ(longBody[255], 255);
    EXPECT_EQ(longBody[256], 0);

    std::vector<uint8_t> m16(m16Length);
    EXPECT_TRUE(SessReadChunk(FourCC(">m16"), m16.data(), uint32_t(m16.size())));
    char last[10];
    ASSERT_TRUE(SessReadChunk(FourCC(">end"), last, 10));  // found past the unpadded chunk
    EXPECT_EQ(std::string(last, 10), "last chunk");
}

TEST(Session, ChunksGivenAndTakenInPieces) {
    // Pieces of 1000 bytes, the last one short: given pieces with data, fill pieces (null) in runs
    // and alone, and a fill piece last. The file holds one ordinary chunk of the whole.
    TempDir dir;
    SessSetPath((dir / "p.aes").c_str());
    constexpr uint32_t kPieceSize = 1000, kLength = 9500;
    std::vector<uint8_t> whole(kLength, 0xFF);
    const std::vector<bool> given = {true, false, false, true, true, false, true, false, false, false};
    for (uint32_t k = 0; k < given.size(); ++k) {
        if (!given[k]) continue;
        for (uint32_t i = k * kPieceSize; i < std::min(kLength, (k + 1) * kPieceSize); ++i) whole[i] = uint8_t(i * 7 + k);
    }
    const std::vector<uint8_t> small = {1, 2, 3};
    SessTruncate();
    ASSERT_TRUE(SessWriteChunk(FourCC(">one"), small.data(), 3));
    ASSERT_TRUE(SessWriteChunkPieces(FourCC(">pcs"), kLength, kPieceSize, 0xFF, [&](uint32_t offset) {
        return given[offset / kPieceSize] ? whole.data() + offset : nullptr;
    }));
    ASSERT_TRUE(SessWriteChunk(FourCC(">two"), small.data(), 3));
    ASSERT_TRUE(SessFinishSave());

    WriteFile(dir / "whole", std::string(whole.begin(), whole.end()));
    std::istringstream lines(Shell("python3 " + kOracle + " dump " + (dir / "p.aes")));
    std::string tag, hash;
    uint32_t length, packed;
    lines >> tag >> length >> packed >> hash >> tag >> length >> packed >> hash;
    EXPECT_EQ(tag, ">pcs");
    EXPECT_EQ(length, kLength);
    EXPECT_EQ(hash, Sha256(dir / "whole"));
    lines >> tag;
    EXPECT_EQ(tag, ">two");

    std::vector<uint8_t> back(kLength);
    ASSERT_TRUE(SessReadChunk(FourCC(">pcs"), back.data(), kLength));
    EXPECT_EQ(back, whole);
    std::vector<uint8_t> pieces;
    ASSERT_TRUE(SessReadChunkPieces(FourCC(">pcs"), kLength, 4096, [&](uint32_t offset, const uint8_t* data, uint32_t n) {
        EXPECT_EQ(offset, pieces.size());
        EXPECT_EQ(n, std::min<uint32_t>(4096, kLength - offset));
        pieces.insert(pieces.end(), data, data + n);
    }));
    EXPECT_EQ(pieces, whole);
    // Another length is another chunk; a cut stream does not fill it.
    EXPECT_FALSE(SessReadChunkPieces(FourCC(">pcs"), kLength - 1, 4096, [](uint32_t, const uint8_t*, uint32_t) {}));
    const std::string file = ReadFile(dir / "p.aes");
    WriteFile(dir / "p.aes", file.substr(0, file.size() / 2));
    EXPECT_FALSE(SessReadChunkPieces(FourCC(">pcs"), kLength, 4096, [](uint32_t, const uint8_t*, uint32_t) {}));
}

TEST(Session, MissingWrongLengthAndTruncatedChunksFail) {
    TempDir dir;
    const std::string path = dir / "t.aes";
    SessSetPath(path.c_str());
    std::vector<uint8_t> body(100000);
    for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t(i * 31 ^ (i >> 7));
    SessTruncate();
    ASSERT_TRUE(SessWriteChunk(FourCC(">abc"), body.data(), uint32_t(body.size())));
    ASSERT_TRUE(SessFinishSave());

    std::vector<uint8_t> out(body.size(), 0x5A);
    EXPECT_FALSE(SessReadChunk(FourCC(">xyz"), out.data(), uint32_t(out.size())));
    EXPECT_FALSE(SessReadChunk(FourCC(">abc"), out.data(), uint32_t(out.size() - 1)));

    // Cut the stream short: the chunk no longer fills its length. The keeping reader leaves the
    // buffer as it was.
    const std::string whole = ReadFile(path);
    WriteFile(path, whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(SessReadChunkKeep(FourCC(">abc"), out.data(), uint32_t(out.size())));
    EXPECT_EQ(out, std::vector<uint8_t>(body.size(), 0x5A));
    EXPECT_FALSE(SessReadChunk(FourCC(">abc"), out.data(), uint32_t(out.size())));
    // A header alone, and no file at all.
    WriteFile(path, whole.substr(0, 16));
    EXPECT_FALSE(SessReadChunk(FourCC(">abc"), out.data(), uint32_t(out.size())));
    SessSetPath((dir / "none.aes").c_str());
    EXPECT_FALSE(SessReadChunk(FourCC(">abc"), out.data(), uint32_t(out.size())));
}

TEST(Session, FailedSaveIsReportedAndLeavesNoHalfFile) {
    TempDir dir;
    // A folder that does not exist: nothing is written and a restore finds nothing.
    SessSetPath((dir / "missing/s.aes").c_str());
    SessTruncate();
    EXPECT_FALSE(SessWriteChunk(FourCC(">abc"), "x", 1));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SessFinishSave());
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("could not be saved"), std::string::npos);
    char c;
    EXPECT_FALSE(SessReadChunk(FourCC(">abc"), &c, 1));

    // A save that fails part-way keeps the session that was there before it.
    const std::string path = dir / "keep.aes";
    SessSetPath(path.c_str());
    SessTruncate();
    ASSERT_TRUE(SessWriteChunk(FourCC(">abc"), "old", 3));
    ASSERT_TRUE(SessFinishSave());
    const std::string before = ReadFile(path);
    SessTruncate();
    ASSERT_TRUE(SessWriteChunk(FourCC(">abc"), "new", 3));
    std::remove((path + ".saving").c_str());
    mkdir((path + ".saving").c_str(), 0700);  // the next chunk cannot be written
    EXPECT_FALSE(SessWriteChunk(FourCC(">def"), "new", 3));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SessFinishSave());
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(path), before);
}

}  // namespace
}  // namespace tamsk
