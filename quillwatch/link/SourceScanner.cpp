// The C source scanner behind the Source window's function list.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "quillwatch/link/HostShims.h"

namespace quillwatch {

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Moves past a line end at p (LF, CR LF or a lone CR), counting one line.
const char* SkipLineEnd(HostScanner& s, const char* p) {
    if (*p == '\r' && p[1] == '\n') ++p;
    ++s.line;
    return p + 1;
}

}  // namespace

void HostScanBegin(HostScanner& s, const char* text) { s = HostScanner{text, text, 0, 1}; }

int HostScanToken(HostScanner& s, bool lineMode) {
    const char* p = s.pos;
    if (lineMode) {
        while (*p == ' ' || *p == '\t') ++p;
    } else {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') {
            if (*p == '\n' || *p == '\r') p = SkipLineEnd(s, p);
            else ++p;
        }
    }
    s.tokenStart = p;
    s.tokenLength = 0;
    auto finish = [&](const char* end, int kind) {
        s.tokenLength = static_cast<size_t>(end - s.tokenStart);
        s.pos = end;
        return kind;
    };
    if (!*p) return finish(p, hostTokEnd);

    if (lineMode) {
        // The rest of the line, continued by a backslash before the line end.
        const char* q = p;
        while (*q && *q != '\n' && *q != '\r') {
            if (*q == '\\' && (q[1] == '\n' || q[1] == '\r')) q = SkipLineEnd(s, q + 1);
            else ++q;
        }
        return finish(q, hostTokIdentifier);
    }
    if (p[0] == '/' && p[1] == '/') {
        const char* q = p + 2;
        while (*q && *q != '\n' && *q != '\r') ++q;
        return finish(q, hostTokComment);
    }
    if (p[0] == '/' && p[1] == '*') {
        const char* q = p + 2;
        while (*q && !(q[0] == '*' && q[1] == '/')) {
            if (*q == '\n' || *q == '\r') q = SkipLineEnd(s, q);
            else ++q;
        }
        if (!*q) return finish(q, hostTokEnd);
        return finish(q + 2, hostTokComment);
    }
    if (*p == '"' || *p == '\'') {
        const char quote = *p;
        const char* q = p + 1;
        while (*q && *q != quote) {
            if (*q == '\\' && q[1]) {
                if (q[1] == '\n' || q[1] == '\r') q = SkipLineEnd(s, q + 1);
                else q += 2;
            } else if (*q == '\n' || *q == '\r') {
                q = SkipLineEnd(s, q);
            } else {
                ++q;
            }
        }
        if (!*q) return finish(q, hostTokEnd);
        return finish(q + 1, hostTokString);
    }
    switch (*p) {
        case '(': return finish(p + 1, hostTokOpenParen);
        case ')': return finish(p + 1, hostTokCloseParen);
        case '{': return finish(p + 1, hostTokOpenBrace);
        case '}': return finish(p + 1, hostTokCloseBrace);
        case ';': return finish(p + 1, hostTokSemicolon);
        case '#': return finish(p + 1, hostTokHash);
        default: break;
    }
    if (IsIdentStart(*p)) {
        const char* q = p + 1;
        while (IsIdentChar(*q)) ++q;
        return finish(q, hostTokIdentifier);
    }
    return finish(p + 1, hostTokOther);
}

int HostScanPragmaMarks(const char* text, uint32_t* count, HostFunctionEntry** entries) {
    *count = 0;
    *entries = nullptr;
    if (!text) return 0;
    uint32_t capacity = 0;
    auto add = [&](const char* name, size_t length, uint32_t line) {
        if (*count == capacity) {
            auto* grown = static_cast<HostFunctionEntry*>(
                std::realloc(*entries, sizeof(HostFunctionEntry) * (capacity + 100)));
            if (!grown) return false;
            *entries = grown;
            capacity += 100;
        }
        HostFunctionEntry& e = (*entries)[(*count)++];
        length = length > 63 ? 63 : length;
        std::memcpy(e.name, name, length);
        std::memset(e.name + length, 0, sizeof e.name - length);
        e.line = line;
        return true;
    };

    HostScanner s;
    HostScanBegin(s, text);
    int braces = 0, parens = 0;
    enum { noParams, paramsOpen, paramsClosed } params = noParams;
    bool haveCandidate = false;
    const char* candidate = nullptr;
    size_t candidateLength = 0;
    uint32_t candidateLine = 0;
    int previous = hostTokEnd;
    for (;;) {
        int kind = HostScanToken(s, false);
        if (kind == hostTokEnd) return 0;
        if (kind == hostTokComment) continue;
        switch (kind) {
            case hostTokIdentifier:
                if (braces == 0 && parens == 0 && !(haveCandidate && params == paramsClosed)) {
                    haveCandidate = true;
                    candidate = s.tokenStart;
                    candidateLength = s.tokenLength;
                    candidateLine = s.line;
                    params = noParams;
                }
                break;
            case hostTokOpenParen:
                if (haveCandidate && params == noParams && parens == 0 && braces == 0) params = paramsOpen;
                ++parens;
                break;
            case hostTokCloseParen:
                if (parens > 0) --parens;
                if (haveCandidate && params == paramsOpen && parens == 0) params = paramsClosed;
                break;
            case hostTokSemicolon:
                if (previous == hostTokCloseParen) haveCandidate = false;  // a declaration
                break;
            case hostTokOpenBrace:
                if (braces == 0 && haveCandidate && params == paramsClosed) {
                    if (!add(candidate, candidateLength, candidateLine)) return -1;
                    haveCandidate = false;
                }
                ++braces;
                break;
            case hostTokCloseBrace:
                if (braces > 0) --braces;
                break;
            case hostTokHash: {
                uint32_t line = s.line;
                HostScanToken(s, true);
                const char* d = s.tokenStart;
                const char* end = d + s.tokenLength;
                if (end - d >= 6 && std::strncmp(d, "pragma", 6) == 0) {
                    d += 6;
                    while (d < end && (*d == ' ' || *d == '\t')) ++d;
                    if (end - d >= 4 && std::strncmp(d, "mark", 4) == 0) {
                        d += 4;
                        while (d < end && (*d == ' ' || *d == '\t')) ++d;
                        bool ok = (d < end && std::isgraph(static_cast<unsigned char>(*d)))
                                      ? add(d, static_cast<size_t>(end - d), line)
                                      : add(" ", 1, line);
                        if (!ok) return -1;
                    }
                }
                break;
            }
            default: break;
        }
        previous = kind;
    }
}

}  // namespace quillwatch
