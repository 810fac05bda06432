// Translation of straight-line ARM code into host machine code (x86-64 hosts only). A translated
// block is a form of the threaded interpreter (see CpuExec.cpp): it is called with the entry of its
// first instruction, the address, the batch's count and the host address, runs its instructions
// and goes on by a tail jump into the interpreter, with the same state the interpreted forms leave.
// Generated code never calls: no C++ exception or long jump can cross it.
#pragma once

#include <cstdint>

namespace tamsk {

// What a block refers to. Guest registers, flags and caches are addressed relative to the entry
// (all of them are globals of one program, so within 32-bit reach of each other).
struct CpuBlockTargets {
    const void* entry;     // the entry of the first instruction
    uint32_t entrySize;    // bytes per entry
    const void* regs;      // r0..r15
    const void* nz;        // the N/Z word (64 bits)
    const void* c;         // the C byte
    const void* v;         // the V byte
    const void* tlbRead;   // the data-read cache
    const void* tlbWrite;  // the data-write cache
    const void* fallback;  // the first instruction's interpreted form (too few instructions left)
    const void* next;      // goes on at an entry: its word is checked and its form run
    const void* slow;      // runs an entry's instruction in the form that makes every access
};

// Whether translation is available on this host and switched on.
bool CpuTranslationOn();
// Switches translation on or off (tests compare translated and interpreted runs). The caller
// drops every block first (CpuDropBlocks in the interpreter).
void CpuSetTranslationOn(bool on);

// The number of instructions from words[0] on (at most count) that a block can run.
uint32_t CpuTranslatableRun(const uint32_t* words, uint32_t count);
// Translates the first n words (n from CpuTranslatableRun, at least 1). Returns null when the code
// buffer is full: the caller drops every block, empties the buffer and tries again.
void* CpuTranslateArm(const uint32_t* words, uint32_t n, const CpuBlockTargets& t);
// Whether p is code of the buffer.
bool CpuIsBlock(const void* p);
// Empties the code buffer; no entry may refer to a block any more.
void CpuEmptyCodeBuffer();

}  // namespace tamsk
