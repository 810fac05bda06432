#include "quillwatch/app/Prefs.h"

#include <cstdio>
#include <cstring>
#include <vector>


namespace quillwatch {

namespace {

// The file is little-endian whatever the host.
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr size_t kFontAt = 2, kFrameAt = 62, kWindowsAt = 106, kPlacementSize = 44;
constexpr size_t kLinkAt = 330, kPortAt = 334, kBaudAt = 338, kBaudCmdAt = 342, kHandshakeAt = 346, kHostAt = 348,
                 kFolderAt = 352;

void GetFont(const uint8_t* p, PrefsFont* f) {
    int32_t* ints[] = {&f->height, &f->width, &f->escapement, &f->orientation, &f->weight};
    for (int i = 0; i < 5; ++i) *ints[i] = static_cast<int32_t>(Get32(p + 4 * i));
    uint8_t* bytes[] = {&f->italic,       &f->underline,     &f->strikeOut, &f->charSet,
                        &f->outPrecision, &f->clipPrecision, &f->quality,   &f->pitchAndFamily};
    for (int i = 0; i < 8; ++i) *bytes[i] = p[20 + i];
    std::memcpy(f->faceName, p + 28, sizeof f->faceName);
    f->faceName[sizeof f->faceName - 1] = 0;
}

void PutFont(uint8_t* p, const PrefsFont& f) {
    const int32_t ints[] = {f.height, f.width, f.escapement, f.orientation, f.weight};
    for (int i = 0; i < 5; ++i) Put32(p + 4 * i, static_cast<uint32_t>(ints[i]));
    const uint8_t bytes[] = {f.italic,       f.underline,     f.strikeOut, f.charSet,
                             f.outPrecision, f.clipPrecision, f.quality,   f.pitchAndFamily};
    std::memcpy(p + 20, bytes, 8);
    std::memcpy(p + 28, f.faceName, sizeof f.faceName);
}

void GetPlacement(const uint8_t* p, PrefsPlacement* w) {
    uint32_t* u[] = {&w->length, &w->flags, &w->showCmd};
    for (int i = 0; i < 3; ++i) *u[i] = Get32(p + 4 * i);
    int32_t* s[] = {&w->minX, &w->minY, &w->maxX, &w->maxY, &w->left, &w->top, &w->right, &w->bottom};
    for (int i = 0; i < 8; ++i) *s[i] = static_cast<int32_t>(Get32(p + 12 + 4 * i));
}

void PutPlacement(uint8_t* p, const PrefsPlacement& w) {
    const uint32_t u[] = {w.length, w.flags, w.showCmd};
    for (int i = 0; i < 3; ++i) Put32(p + 4 * i, u[i]);
    const int32_t s[] = {w.minX, w.minY, w.maxX, w.maxY, w.left, w.top, w.right, w.bottom};
    for (int i = 0; i < 8; ++i) Put32(p + 12 + 4 * i, static_cast<uint32_t>(s[i]));
}

PrefsPlacement Placement(uint32_t show, int32_t l, int32_t t, int32_t r, int32_t b) {
    return PrefsPlacement{44, 0, show, -1, -1, -1, -1, l, t, r, b};
}

}  // namespace

void PrefsDefaults(QuillwatchPrefs* p, int w, int h) {
    std::memset(p, 0, sizeof *p);
    // The system fixed font's record with the changes the debugger makes.
    p->font.height = -11;
    p->font.weight = 400;
    p->font.outPrecision = 3;
    p->font.quality = 1;
    p->font.pitchAndFamily = 0x31;  // fixed pitch, modern family
    std::strcpy(p->font.faceName, "Lucida Console");
    p->frame = Placement(3, 0, 0, w - 10, h - 50);
    p->windows[0] = Placement(1, 0, 0, w / 2, (h - 40) / 2);
    p->windows[1] = Placement(1, w / 2, 0, w, (h - 40) / 2);
    p->windows[2] = PrefsPlacement{};
    p->windows[3] = Placement(1, w - w / 7, (h - 40) / 2, w, h - 40);
    p->windows[4] = Placement(1, 0, (h - 40) / 2, w - w / 7, h - 40);
    p->linkCommand = 40022;
    p->serialPort = 1;
    p->baud = 57600;
    p->baudCommand = 40019;
    p->handshake = 0;
    p->host = 0x7F000001;
}

bool PrefsDecode(const uint8_t* b, size_t size, QuillwatchPrefs* p, int w, int h) {
    PrefsDefaults(p, w, h);
    if (!b || size < kPrefsSize || Get16(b) != kPrefsSize) return false;
    GetFont(b + kFontAt, &p->font);
    GetPlacement(b + kFrameAt, &p->frame);
    for (int i = 0; i < kPrefsWindows; ++i) GetPlacement(b + kWindowsAt + kPlacementSize * i, &p->windows[i]);
    p->linkCommand = Get32(b + kLinkAt);
    p->serialPort = Get32(b + kPortAt);
    p->baud = Get32(b + kBaudAt);
    p->baudCommand = Get32(b + kBaudCmdAt);
    p->handshake = b[kHandshakeAt];
    p->host = Get32(b + kHostAt);
    std::memcpy(p->folder, b + kFolderAt, sizeof p->folder);
    p->folder[sizeof p->folder - 1] = 0;
    return true;
}

void PrefsEncode(const QuillwatchPrefs& p, uint8_t out[kPrefsSize]) {
    std::memset(out, 0, kPrefsSize);
    Put16(out, kPrefsSize);
    PutFont(out + kFontAt, p.font);
    PutPlacement(out + kFrameAt, p.frame);
    for (int i = 0; i < kPrefsWindows; ++i) PutPlacement(out + kWindowsAt + kPlacementSize * i, p.windows[i]);
    Put32(out + kLinkAt, p.linkCommand);
    Put32(out + kPortAt, p.serialPort);
    Put32(out + kBaudAt, p.baud);
    Put32(out + kBaudCmdAt, p.baudCommand);
    out[kHandshakeAt] = p.handshake;
    Put32(out + kHostAt, p.host);
    std::memcpy(out + kFolderAt, p.folder, sizeof p.folder);
    out[kPrefsSize - 1] = 0;
}

bool PrefsRead(const char* path, QuillwatchPrefs* prefs, int w, int h) {
    std::vector<uint8_t> bytes(kPrefsSize);
    size_t got = 0;
    if (FILE* f = std::fopen(path, "rb")) {
        got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return PrefsDecode(bytes.data(), got, prefs, w, h);
}

bool PrefsWrite(const char* path, const QuillwatchPrefs& prefs) {
    uint8_t bytes[kPrefsSize];
    PrefsEncode(prefs, bytes);
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    return std::fclose(f) == 0 && ok;
}

}  // namespace quillwatch
