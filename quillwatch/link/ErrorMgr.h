// The error manager of the link and shell code: try frames, throwing, and assertions.
//
// A try frame (ErrJumpBuf) is chained on the list head that ErrExceptionList returns, innermost
// first, for as long as its body runs. ErrThrow unwinds to the innermost frame with a C++
// exception, so destructors of the frames in between run. ErrThrow never returns: without a
// pending frame it reports the assertion "ErrThrow called without a pending ErrTry" and unwinds
// all the same, to an outermost frame (ErrOutermost, or the message dispatch of the window
// thread), which ends the operation.
#pragma once

#include <cstdint>
#include <exception>
#include <utility>

namespace quillwatch {

struct ErrJumpBuf {
    ErrJumpBuf* nextP;
    uint32_t err;
};

// What ErrThrow throws; only the error manager's frames catch it.
struct ErrException : std::exception {
    explicit ErrException(uint32_t c) : code(c) {}
    const char* what() const noexcept override { return "ErrThrow"; }
    uint32_t code;
};

ErrJumpBuf** ErrExceptionList();
[[noreturn]] void ErrThrow(uint32_t code);
// Writes "File: %s, Line: %d, %s" to the debug output; the caller goes on.
void ErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message);

// Links a frame for its lifetime.
class ErrFrame {
public:
    ErrFrame();
    ~ErrFrame();
    ErrFrame(const ErrFrame&) = delete;
    ErrFrame& operator=(const ErrFrame&) = delete;
    uint32_t code() const { return buf_.err; }

private:
    ErrJumpBuf buf_;
};

// Runs body in a try frame; a thrown code unlinks the frame and goes to handler(code).
template <typename Body, typename Handler>
void ErrTry(Body&& body, Handler&& handler) {
    uint32_t code;
    try {
        ErrFrame frame;
        std::forward<Body>(body)();
        return;
    } catch (const ErrException& e) {
        code = e.code;
    }
    std::forward<Handler>(handler)(code);
}

// Runs body in a try frame; returns the code thrown, or 0.
template <typename Body>
uint32_t ErrTry(Body&& body) {
    uint32_t thrown = 0;
    ErrTry(std::forward<Body>(body), [&](uint32_t code) { thrown = code; });
    return thrown;
}

// An outermost frame for an operation started outside the message loop: not on the frame list,
// so a throw that reaches it still reports its assertion; returns the code, or 0.
template <typename Body>
uint32_t ErrOutermost(Body&& body) {
    try {
        std::forward<Body>(body)();
        return 0;
    } catch (const ErrException& e) {
        return e.code;
    }
}

}  // namespace quillwatch
