#include "quillwatch/link/ErrorMgr.h"

#include <cstdio>

#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {
ErrJumpBuf* gExceptionList = nullptr;
}

ErrJumpBuf** ErrExceptionList() { return &gExceptionList; }

ErrFrame::ErrFrame() : buf_{gExceptionList, 0} { gExceptionList = &buf_; }

ErrFrame::~ErrFrame() {
    // Frames end in reverse order of their start, so this one is the head.
    gExceptionList = buf_.nextP;
}

void ErrThrow(uint32_t code) {
    if (gExceptionList) {
        gExceptionList->err = code;
    } else {
        ErrDisplayFileLineMsg("ErrorMgr", __LINE__, "ErrThrow called without a pending ErrTry");
    }
    throw ErrException(code);
}

void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    char text[512];
    std::snprintf(text, sizeof text, "File: %s, Line: %u, %s\n", file ? file : "", unsigned{line},
                  message ? message : "");
    HostDebugOutput(text);
}

}  // namespace quillwatch
