#include "tamsk/devices/Nand.h"

#include <cstring>

#include "tamsk/board/Memory.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/devices/Intc.h"
#include "tamsk/devices/WordChunk.h"

namespace tamsk {

NandState Nand;

namespace {

const uint32_t kTag = FourCC(">nac");

enum : uint32_t {
    // Register offsets.
    kControl = 0x00,
    kStatus = 0x14,
    kDataPort = 0x40,
    kCommandBuffer = 0x48,
    kFirstAddress = 0x4C,
    kSecondAddress = 0x50,
    // Control bits (0-11 mask the status bits of the same number).
    kStatusBits = 0xFFF,
    kRunBit = 1u << 28,
    kShortSpare = 1u << 30,
    kWithSpare = 1u << 31,
    // Status bits.
    kWriteCommandRequest = 1u << 0,
    kReadRequest = 1u << 1,
    kWriteRequest = 1u << 2,
    kDone = 1u << 8,
    kReady = 1u << 11,
    // Command word: bit 19 names a two-byte command.
    kDoubleByte = 1u << 19,
};

constexpr uint32_t kArrayWords = (kNandDataSize + kNandSpareSize) / 4;
constexpr uint32_t kPageWords = kNandPageSize / 4;
constexpr uint32_t kBlockPages = 64;
constexpr uint32_t kIdentifier = 0x1500A12C;

uint32_t Unmasked() { return Nand.status & ~Nand.control & kStatusBits; }

// Sets status bits; a newly set one that is not masked raises source 45.
void SetStatus(uint32_t bits) {
    const uint32_t fresh = bits & ~Nand.status;
    Nand.status |= bits;
    if (fresh & ~Nand.control & kStatusBits) IntcRaise(kIrqNand);
}

void LowerWhenQuiet() {
    if (Unmasked() == 0) IntcLower(kIrqNand);
}

[[noreturn]] void Unsupported(uint32_t physical) {
    HostFatal("Unsupported NAND controller access at 0x%08X", physical);
}

void EmptyList() {
    Nand.segments = Nand.cursor = Nand.cursorWord = Nand.wordsLeft = Nand.replyRead = 0;
}

// Fatal when the list has no room for `entries` more segments.
void MakeRoom(uint32_t entries) {
    if (Nand.segments + entries > kNandSegments)
        HostFatal("Unexpected sequence of NAND read commands.\nThe software may not be built for "
                  "Zylonite B1.");
}

void Append(int32_t start, uint32_t count) {
    MakeRoom(1);
    Nand.segment[Nand.segments++] = {start, count};
    Nand.wordsLeft += count;
}

// Words of transferred spare area: none, 40 bytes or 64 bytes.
uint32_t SpareWords() {
    if (!(Nand.control & kWithSpare)) return 0;
    return Nand.control & kShortSpare ? 10 : 16;
}

// The page the address words name (second-word byte 0, first-word bytes 3 and 2), checked against
// the array, and its byte address (the page's offset combined with the column, first-word bytes
// 1 and 0); a whole page from there must lie in the data area.
uint32_t Page() {
    const uint32_t page = (Nand.address[1] & 0xFF) << 16 | Nand.address[0] >> 16;
    if (Nand.address[1] >> 8 & 0x3F) HostFatal("Unsupported NAND multi-page command");
    if (page >= kNandPages) HostFatal("NAND page 0x%X is beyond the array", page);
    return page;
}

uint32_t ByteAddress(uint32_t page) {
    const uint32_t address = page * kNandPageSize | (Nand.address[0] & 0xFFFF);
    if (address > kNandDataSize - kNandPageSize)
        HostFatal("NAND address 0x%X is beyond the array", address);
    return address;
}

void ReadPage() {
    const uint32_t page = Page();
    const uint32_t spare = SpareWords();
    MakeRoom(spare ? 2 : 1);
    Append(int32_t(ByteAddress(page) / 4), kPageWords);
    if (spare) Append(int32_t((kNandDataSize + page * kNandSpareBytes) / 4), spare);
    SetStatus(kReadRequest | kReady);
}

void Reply(uint32_t first, uint32_t second, unsigned words) {
    EmptyList();
    Nand.reply[0] = first;
    Nand.reply[1] = second;
    for (unsigned i = 0; i < words; ++i) Append(kNandOwnBuffer, 1);
    SetStatus(kReadRequest | kReady);
}

void Erase() {
    const uint32_t page = Nand.address[0];
    if (page > kNandPages - kBlockPages) HostFatal("NAND block at page 0x%X is beyond the array", page);
    // A block starts on a multiple of 64 pages; one named by a page inside it is erased from that
    // page over the next 64, so it may cover the ends of two blocks.
    if (page % kBlockPages == 0) {
        MemEraseNandBlock(page / kBlockPages);
    } else {
        MemNandTouch(uint64_t(page) * kNandPageSize, kBlockPages * kNandPageSize);
        MemNandTouch(kNandDataSize + uint64_t(page) * kNandSpareBytes, kBlockPages * kNandSpareBytes);
        std::memset(MemNandData + size_t(page) * kNandPageSize, 0xFF, kBlockPages * kNandPageSize);
        std::memset(MemNandSpare + size_t(page) * kNandSpareBytes, 0xFF, kBlockPages * kNandSpareBytes);
    }
    SetStatus(kDone | kReady);
}

void Execute() {
    const uint32_t word = Nand.command;
    const uint32_t code = word & kDoubleByte ? (word & 0xFF) << 8 | (word >> 8 & 0xFF) : word & 0xFF;
    switch (code) {
    case 0x00:
    case 0x30: ReadPage(); break;
    case 0x8010: {
        const uint32_t page = Page();
        Nand.programAddress = ByteAddress(page);
        Nand.programPage = page;
        Nand.bufferWords = 0;
        SetStatus(kWriteRequest | kReady);
        break;
    }
    case 0x60:
    case 0x60D0: Erase(); break;
    case 0x70: Reply(Nand.status & kReady ? 0xC0 : 0x80, 0, 2); break;
    case 0x90: Reply(kIdentifier, 0, 1); break;
    case 0xFF:
        Nand.status &= ~(kDone | kReady);
        SetStatus(kDone | kReady);
        break;
    default: HostFatal("Unsupported NAND command 0x%X", code);
    }
}

uint32_t ReadDataPort() {
    Nand.status &= ~kReadRequest;
    LowerWhenQuiet();
    if (Nand.wordsLeft == 0) return 0;
    NandState::Segment& s = Nand.segment[Nand.cursor];
    const uint32_t value = s.start == kNandOwnBuffer
                               ? Nand.reply[Nand.replyRead++]
                               : ChunkGet32(MemNandTouch(4 * (uint64_t(s.start) + Nand.cursorWord), 4));
    if (++Nand.cursorWord == s.count) {
        ++Nand.cursor;
        Nand.cursorWord = 0;
    }
    if (--Nand.wordsLeft == 0) {
        EmptyList();
        SetStatus(kDone | kReady);
    }
    return value;
}

void WriteDataPort(uint32_t value) {
    const uint32_t limit = kPageWords + SpareWords();
    if (Nand.bufferWords >= limit) return;  // dropped
    Nand.buffer[Nand.bufferWords++] = value;
    if (Nand.bufferWords < limit) return;
    MemNandTouch(Nand.programAddress, kNandPageSize);
    MemNandTouch(kNandDataSize + uint64_t(Nand.programPage) * kNandSpareBytes, kNandSpareBytes);
    for (uint32_t i = 0; i < kPageWords; ++i)
        ChunkPut32(MemNandData + Nand.programAddress + 4 * i, Nand.buffer[i]);
    uint8_t* spare = MemNandSpare + size_t(Nand.programPage) * kNandSpareBytes;
    for (uint32_t i = kPageWords; i < limit; ++i) ChunkPut32(spare + 4 * (i - kPageWords), Nand.buffer[i]);
    SetStatus(kDone | kReady);
}

// A restored controller must keep every later access inside the array and its own tables.
bool Sound(const NandState& n) {
    if (n.commandWrites > 2 || n.segments > kNandSegments || n.cursor > n.segments ||
        n.replyRead > 2 || n.bufferWords > kNandBufferWords || n.programPage >= kNandPages ||
        n.programAddress > kNandDataSize - kNandPageSize)
        return false;
    uint64_t left = 0, replies = n.replyRead;
    for (uint32_t i = 0; i < n.segments; ++i) {
        const NandState::Segment& s = n.segment[i];
        if (s.count == 0) return false;
        if (s.start == kNandOwnBuffer) {
            if (s.count != 1) return false;
            if (i >= n.cursor) ++replies;
        } else if (s.start < 0 || uint64_t(uint32_t(s.start)) + s.count > kArrayWords) {
            return false;
        }
        if (i == n.cursor && n.cursorWord >= s.count) return false;
        if (i >= n.cursor) left += s.count - (i == n.cursor ? n.cursorWord : 0);
    }
    if (n.cursor == n.segments && n.cursorWord != 0) return false;
    return left == n.wordsLeft && replies <= 2;
}

[[maybe_unused]] const bool kRuleAdded = SessAddRule({kTag, sizeof(NandState), false, [](const uint8_t* image) {
                                                          NandState n;
                                                          ChunkWordsFrom(image, n);
                                                          return Sound(n);
                                                      }});

}  // namespace

uint32_t NandRead(uint32_t physical) {
    switch (physical & 0xFFFFF) {
    case kControl: return Nand.control;
    case kStatus: return Nand.status;
    case kDataPort: return ReadDataPort();
    case kCommandBuffer: return Nand.command;
    case kFirstAddress: return Nand.address[0];
    case kSecondAddress: return Nand.address[1];
    }
    Unsupported(physical);
}

void NandWrite(uint32_t physical, uint32_t value) {
    switch (physical & 0xFFFFF) {
    case kControl: {
        const uint32_t wasMasked = Nand.control & kStatusBits;
        Nand.control = value;
        if (Nand.status & wasMasked & ~value & kStatusBits) IntcRaise(kIrqNand);
        if (value & kRunBit) SetStatus(kWriteCommandRequest | kReady);
        return;
    }
    case kStatus:
        Nand.status &= ~(value & kStatusBits);
        LowerWhenQuiet();
        return;
    case kDataPort: WriteDataPort(value); return;
    case kCommandBuffer:
        if (Nand.commandWrites == 0)
            Nand.command = value;
        else
            Nand.address[Nand.commandWrites - 1] = value;
        if (++Nand.commandWrites < 3) return;
        Nand.commandWrites = 0;
        Execute();
        return;
    case kFirstAddress:
    case kSecondAddress:
    case 0x04:
    case 0x0C: return;
    }
    Unsupported(physical);
}

void NandReset(int32_t code) {
    if (code == kRunSave) return;
    if (code == kRunLoad || code == kRunPowerOnRestore) {
        NandState restored;
        if (ChunkRestoreWords(kTag, restored)) {
            if (!Sound(restored)) HostFatal("Invalid or unexpected session data");
            Nand = restored;
            return;
        }
    }
    Nand = {};
    Nand.status = kReady;
}

void NandSave(int32_t code) {
    if (code == kRunSave) ChunkSaveWords(kTag, Nand);
}

}  // namespace tamsk
