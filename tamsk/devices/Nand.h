// The NAND flash controller: commands and addresses through the command buffer, page reads queued
// as a list of word segments drained through the data port, page programs filled through the
// same port, block erases, status and identifier reads. Status bits raise interrupt source 45.
// The array itself is MemNandData/MemNandSpare (2048-byte pages with 64 spare bytes each).
#pragma once

#include <cstdint>

namespace tamsk {

constexpr uint32_t kNandBase = 0x43100000;
constexpr uint32_t kNandPageSize = 2048;
constexpr uint32_t kNandSpareBytes = 64;
constexpr uint32_t kNandPages = 65536;
constexpr unsigned kNandSegments = 512;
constexpr unsigned kNandBufferWords = (kNandPageSize + kNandSpareBytes) / 4;  // 528
constexpr uint32_t kNandChunkSize = 6280;

// Start of a segment that reads the controller's own reply words (status, identifier).
constexpr int32_t kNandOwnBuffer = -1;

// The >nac chunk (little-endian words).
struct NandState {
    uint32_t control;
    uint32_t status;
    uint32_t command;
    uint32_t address[2];        // the first and second address words
    uint32_t commandWrites;     // command-buffer writes of the command under way (0..2)
    struct Segment {
        int32_t start;          // word index into data+spare, or kNandOwnBuffer
        uint32_t count;         // words
    } segment[kNandSegments];
    uint32_t segments;          // entries in use
    uint32_t cursor;            // the segment being read
    uint32_t cursorWord;        // words already read from it
    uint32_t wordsLeft;
    uint32_t reply[2];          // the controller's own words
    uint32_t replyRead;         // reply words already read
    uint32_t programAddress;    // byte address of the page being programmed
    uint32_t programPage;
    uint32_t bufferWords;       // words in the page buffer
    uint32_t buffer[kNandBufferWords];
    uint32_t reserved[2];
};
static_assert(sizeof(NandState) == kNandChunkSize, "the chunk holds the controller whole");
extern NandState Nand;

uint32_t NandRead(uint32_t physical);
void NandWrite(uint32_t physical, uint32_t value);

// Reset or restore (>nac; a missing chunk powers the controller on), and the save of >nac on
// code 4. The array's own chunks are the memory areas' business.
void NandReset(int32_t code);
void NandSave(int32_t code);

}  // namespace tamsk
