// What the two 68K program tests share: a card slot whose folder is a new temporary folder, the
// data the programs end with (the texts they use and the buffers they fill last), and the checks
// of what a program wrote, listed and read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "standin/os/CardSlots.h"

namespace durnix::test {

// The programs' last data: the library's name, the file's path and text, a directory entry, the
// listed names ("name|" each) and the bytes read back.
constexpr char kProgramTexts[] = R"(
libname: .asciz "Host File System Library"
path:   .asciz  "/Hello.txt"
slash:  .asciz  "/"
text:   .ascii  "written from 68K\n"
        .even
entry:  .space  32
names:  .space  128
readbuf: .space 64
)";

// A macro the programs define first: after a directory-enumeration call, the end of the folder
// (0x290D) goes on at `done`; an entry's name is appended to the list at A4 with a "|" and the
// enumeration goes on at `again`; another error ends the program at `fail`.
constexpr char kProgramMacros[] = R"(
        .macro  addentry again, done
        cmp.w   #0x290D,%d0
        beq     \done
        tst.w   %d0
        bne     fail
        lea     entry(%pc),%a0
1:      move.b  (%a0)+,(%a4)+
        bne     1b
        move.b  #'|',-1(%a4)
        bra     \again
        .endm
)";

// A new temporary folder (`pattern` ends in XXXXXX) attached as the folder of card slot `slot`;
// empty when none could be made.
inline std::string AttachCardFolder(std::string pattern, uint16_t slot) {
    if (!mkdtemp(pattern.data())) return {};
    vantor::os::CardSlotFolder folder;
    folder.root = pattern;
    vantor::os::CardSlotAttach(slot, folder);
    return pattern;
}

// A program that ran through (its code ending with kProgramTexts) wrote "/Hello.txt" below `root`,
// listed it beside the host's "fromhost" and read its 17 bytes back.
inline void ExpectWrittenListedAndRead(const std::string& root, const std::vector<uint8_t>& code) {
    std::ifstream in(root + "/Hello.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "written from 68K\n");
    std::string names;
    for (size_t at = code.size() - 64 - 128; code[at]; ++at) names += static_cast<char>(code[at]);
    std::set<std::string> listed;
    for (size_t start = 0, bar; (bar = names.find('|', start)) != std::string::npos; start = bar + 1)
        listed.insert(names.substr(start, bar - start));
    EXPECT_EQ(listed, (std::set<std::string>{"Hello.txt", "fromhost"})) << names;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(code.data() + code.size() - 64), 17), "written from 68K\n");
}

}  // namespace durnix::test
