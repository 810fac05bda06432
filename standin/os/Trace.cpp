// Trace lines (system slots 278 and 277), OS messages (61) and error reports (159): kept for tests
// to read and written to standard error unless a test captures them.
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "standin/os/SlotRegistration.h"

namespace vantor::os {
namespace {

struct TraceState {
    std::mutex mutex;
    bool capture = false;
    std::string partial;  // a line continued by slot 277
    std::vector<std::string> lines;
    std::vector<ErrorReport> reports;
};

TraceState& T() {
    static TraceState state;
    return state;
}

std::string Format(const char* format, va_list args) {
    if (!format) return {};
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

void AddText(uint16_t category, std::string text, bool endLine) {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    t.partial += text;
    if (!endLine) return;
    if (!t.capture) std::fprintf(stderr, "[%04X] %s\n", category, t.partial.c_str());
    t.lines.push_back(std::move(t.partial));
    t.partial.clear();
}

void StandinSysTrace(uint16_t category, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddText(category, Format(format, args), true);
    va_end(args);
}
VANTOR_OS_SLOT(SysTrace, StandinSysTrace)

void StandinSysTracePart(uint16_t category, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AddText(category, Format(format, args), false);
    va_end(args);
}
VANTOR_OS_SLOT(SysTracePart, StandinSysTracePart)

void StandinSysDebugMessage(const char* text) { AddText(0, text ? text : "", true); }
VANTOR_OS_SLOT(SysDebugMessage, StandinSysDebugMessage)

void StandinErrDisplayFileLineMsg(const char* file, uint16_t line, const char* message) {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    ErrorReport report{file ? file : "", line, message ? message : ""};
    if (!t.capture)
        std::fprintf(stderr, "standin/os: error report: %s, line %u: %s\n", report.file.c_str(),
                     report.line, report.message.c_str());
    t.reports.push_back(std::move(report));
}
VANTOR_OS_SLOT(ErrDisplayFileLineMsg, StandinErrDisplayFileLineMsg)

}  // namespace

void ResetTrace() {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    t.capture = false;
    t.partial.clear();
    t.lines.clear();
    t.reports.clear();
}

void CaptureOutput(bool capture) {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    t.capture = capture;
}

std::vector<std::string> TraceLines() {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    return t.lines;
}

std::vector<ErrorReport> ErrorReports() {
    auto& t = T();
    std::lock_guard lock(t.mutex);
    return t.reports;
}

}  // namespace vantor::os
