#include "morvel/traps/ResourceTranslate.h"

#include <algorithm>
#include <cstring>

#include "common/BigEndian.h"
#include "common/FourCC.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/launch/AppLaunch.h"
#include "morvel/traps/MorvelError.h"
#include "morvel/traps/SystemGlue.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::FourCC;

constexpr const char* kFile = "RsrcTranslate68K";
constexpr uint16_t kModeReadWrite = 3;
constexpr uint16_t kDbAttrResource = 0x0001, kDbAttrReadOnly = 0x0002;

// Bit-field layouts of the attribute words.
const uint8_t kWindowFlags[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 6, 0};
const uint8_t kFrameType[] = {8, 3, 1, 2, 2, 0};
const uint8_t kFormAttributes[] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 7, 0};
const uint8_t kFieldAttributes[] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 1, 1, 1, 1, 0};
const uint8_t kControlAttributes[] = {1, 1, 1, 1, 1, 3, 1, 1, 1, 5, 0};
const uint8_t kListAttributes[] = {1, 1, 1, 1, 1, 1, 10, 0};
const uint8_t kTableAttributes[] = {1, 1, 1, 1, 1, 11, 0};
const uint8_t kTableRowAttributes[] = {7, 1, 4, 1, 1, 1, 1, 0};
const uint8_t kScrollBarAttributes[] = {1, 1, 1, 1, 4, 8, 0};
const uint8_t kGadgetAttributes[] = {1, 1, 1, 13, 0};
const uint8_t kUsableAttributes[] = {1, 15, 0};
const uint8_t kMenuBarAttributes[] = {1, 1, 1, 1, 12, 0};
const uint8_t kBitmapFlags[] = {1, 1, 1, 1, 1, 1, 1, 1, 8, 0};

uint16_t Convert(uint16_t word, const uint8_t* layout) {
    ConvertBitfield16(&word, layout);
    return word;
}

// Reads of a 68K image that never leave it: a read past the end answers 0 and marks the image bad.
struct In {
    const uint8_t* p;
    uint32_t size;
    bool bad = false;
    bool Has(uint32_t offset, uint32_t n) {
        if (offset > size || n > size - offset) {
            bad = true;
            return false;
        }
        return true;
    }
    uint8_t U8(uint32_t o) { return Has(o, 1) ? p[o] : 0; }
    uint16_t U16(uint32_t o) { return Has(o, 2) ? vantor::ReadBE16(p + o) : 0; }
    uint32_t U32(uint32_t o) { return Has(o, 4) ? vantor::ReadBE32(p + o) : 0; }
    // The length of the terminated text at `o`, terminator included; 0 (bad) when unterminated.
    uint32_t TextSize(uint32_t o) {
        if (o >= size) {
            bad = true;
            return 0;
        }
        const void* end = std::memchr(p + o, 0, size - o);
        if (!end) {
            bad = true;
            return 0;
        }
        return static_cast<uint32_t>(static_cast<const uint8_t*>(end) - (p + o)) + 1;
    }
};

// Native writes, little-endian as the UI library reads them, into a buffer sized beforehand.
struct Out {
    std::vector<uint8_t>& b;
    void U8(uint32_t o, uint8_t v) { b[o] = v; }
    void U16(uint32_t o, uint16_t v) { std::memcpy(&b[o], &v, 2); }
    void U32(uint32_t o, uint32_t v) { std::memcpy(&b[o], &v, 4); }
    void Bytes(uint32_t o, const uint8_t* from, uint32_t n) {
        if (n) std::memcpy(&b[o], from, n);
    }
};

uint32_t Pad4(uint32_t n) {
    return (n + 3) & ~3u;
}

// Copies `count` big-endian words from 68K `from` to native `to`, swapped.
void Words(In& in, Out& out, uint32_t from, uint32_t to, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out.U16(to + 2 * i, in.U16(from + 2 * i));
}

uint16_t TranslateInteger(In& in, std::vector<uint8_t>* native) {
    if (!in.Has(0, 4)) return kRsrcErrParam;
    native->assign(in.p, in.p + in.size);
    Out out{*native};
    out.U32(0, in.U32(0));
    return 0;
}

uint16_t TranslateAlert(In& in, std::vector<uint8_t>* native) {
    if (!in.Has(0, 8)) return kRsrcErrParam;
    native->assign(in.p, in.p + in.size);
    Out out{*native};
    Words(in, out, 0, 0, 4);
    return 0;
}

uint16_t TranslateFont(In& in, std::vector<uint8_t>* native) {
    if (!in.Has(0, 26)) return kRsrcErrParam;
    const uint16_t fontType = in.U16(0), first = in.U16(2), last = in.U16(4), rectHeight = in.U16(14),
                   rowWords = in.U16(24);
    if (last < first) return kRsrcErrParam;
    const uint32_t locations = uint32_t{last} - first + 3;
    if (!(fontType & 0x0200)) {
        const uint32_t imageWords = uint32_t{rowWords} * rectHeight;
        const uint32_t size = 26 + 2 * (imageWords + locations);
        if (!in.Has(0, size)) return kRsrcErrParam;
        native->assign(size, 0);
        Out out{*native};
        Words(in, out, 0, 0, 13);
        out.Bytes(26, in.p + 26, 2 * imageWords);
        Words(in, out, 26 + 2 * imageWords, 26 + 2 * imageWords, locations);
        return 0;
    }
    if (!in.Has(0, 30)) return kRsrcErrParam;
    if (in.U16(26) != 1) return kRsrcErrParam;
    const uint16_t densities = in.U16(28), ascent = in.U16(18), descent = in.U16(20);
    if (!in.Has(30, 6u * densities)) return kRsrcErrParam;
    uint32_t images = 0;
    for (uint16_t d = 0; d < densities; ++d) {
        const uint32_t density = in.U16(30 + 6 * d);
        const uint32_t rows = ascent * density / 72 + descent * density / 72;
        const uint32_t words = (uint32_t{rowWords} * density + 71) / 72;
        images += 2 * words * rows;
    }
    const uint32_t size = 32 + 4 * (locations + 2 * densities) + images;
    // The glyph images and the tables after them follow the 68K density records.
    const uint32_t from = 30 + 6u * densities, copied = images + 4 * locations;
    if (!in.Has(from, copied)) return kRsrcErrParam;
    native->assign(size, 0);
    Out out{*native};
    Words(in, out, 0, 0, 15);
    out.U16(30, 0);
    out.U16(16, static_cast<uint16_t>(in.U16(16) + densities + 1));
    for (uint16_t d = 0; d < densities; ++d) {
        out.U16(32 + 8 * d, in.U16(30 + 6 * d));
        out.U16(34 + 8 * d, 0);
        out.U32(36 + 8 * d, in.U32(32 + 6 * d) + 2 * densities + 2);
    }
    const uint32_t to = 32 + 8u * densities;
    out.Bytes(to, in.p + from, copied);
    Words(in, out, from, to, locations);
    return in.bad ? kRsrcErrParam : 0;
}

uint16_t TranslateMenuBar(In& in, std::vector<uint8_t>* native) {
    const uint16_t count = in.U16(26);
    if (!in.Has(32, 34u * count)) return kRsrcErrParam;
    const uint32_t grow = 2u * count;
    // The texts follow the last item list.
    uint32_t end = 32 + 34u * count;
    for (uint16_t m = 0; m < count; ++m) {
        const uint32_t rec = 32 + 34u * m;
        const uint32_t items = in.U32(rec + 30), itemCount = in.U16(rec + 28) & 0x7FFF;
        if (!in.Has(items, 8 * itemCount)) return kRsrcErrParam;
        end = std::max(end, items + 8 * itemCount);
    }
    native->assign(in.size + grow, 0);
    Out out{*native};
    out.U16(18, in.U16(18));
    out.U16(20, in.U16(20));
    out.U16(22, count);
    out.U16(24, Convert(0, kMenuBarAttributes));
    for (uint16_t m = 0; m < count; ++m) {
        const uint32_t rec = 32 + 34u * m, nrec = 32 + 36u * m;
        Words(in, out, rec + 4, nrec + 4, 4);
        Words(in, out, rec + 16, nrec + 16, 4);
        out.U32(nrec + 24, in.U32(rec + 24) + grow);
        out.U32(nrec + 32, in.U32(rec + 30) + grow);
        const uint16_t itemCount = in.U16(rec + 28) & 0x7FFF;
        out.U16(nrec + 30, itemCount);
        const uint32_t items = in.U32(rec + 30);
        for (uint16_t i = 0; i < itemCount; ++i) {
            const uint32_t it = items + 8u * i, nit = it + grow;
            out.U16(nit, in.U16(it));
            out.U8(nit + 2, in.U8(it + 2));
            out.U8(nit + 3, (in.U8(it + 3) & 0x80) ? 1 : 0);
            out.U32(nit + 4, in.U32(it + 4) + grow);
        }
    }
    if (end < in.size) out.Bytes(end + grow, in.p + end, in.size - end);
    return in.bad ? kRsrcErrParam : 0;
}

// ---- bitmaps ----

constexpr uint16_t kBmpCompressed = 0x8000, kBmpColorTable = 0x4000, kBmpIndirect = 0x1000,
                   kBmpDirectColor = 0x0400, kBmpIndirectColorTable = 0x0200;

uint16_t TranslateBitmaps(In& in, std::vector<uint8_t>* native, uint32_t bitsByReference) {
    native->clear();
    uint32_t at = 0;
    for (int guard = 0; guard < 64; ++guard) {
        if (!in.Has(at, 16)) return kRsrcErrParam;
        const uint8_t version = in.U8(at + 9);
        const bool v3 = version >= 3;
        const uint32_t header = v3 ? 24 : 16;
        if (!in.Has(at, header)) return kRsrcErrParam;
        const bool marker = version == 1 && in.U16(at + 8) == 0x01FF;
        uint32_t step = v3 ? in.U32(at + 20) : 4u * in.U16(at + 10);
        if (marker) step = 16;
        const uint16_t flags = in.U16(at + 6), rowBytes = in.U16(at + 4), height = in.U16(at + 2);
        uint32_t extra = 0, from = at + header;
        std::vector<uint8_t> tail;
        if (!marker) {
            if (flags & kBmpColorTable) {
                if (v3 && (flags & kBmpIndirectColorTable)) {
                    extra = 4;
                } else {
                    const uint32_t entries = in.U16(from);
                    extra = 2 + 4 * entries;
                }
            } else if (!v3 && (flags & kBmpDirectColor)) {
                extra = 8;
            }
            if (flags & kBmpIndirect) extra += 4;
        }
        if (!in.Has(from, extra)) return kRsrcErrParam;
        const uint32_t bitsAt = from + extra;
        uint32_t bits = 0;
        if (!marker) {
            if (step)
                bits = at + step > bitsAt ? at + step - bitsAt : 0;
            else if (flags & kBmpCompressed)
                bits = v3 ? in.U32(bitsAt) : in.U16(bitsAt);
            else
                bits = uint32_t{rowBytes} * height;
            if (flags & kBmpIndirect) bits = 0;
        }
        const bool reference = bitsByReference && !v3 && !(flags & kBmpIndirect) && !marker;
        if (!reference && !in.Has(bitsAt, bits)) return kRsrcErrParam;
        const uint32_t start = static_cast<uint32_t>(native->size());
        const uint32_t size = Pad4(header + extra + (reference ? 4 : bits));
        native->resize(start + size, 0);
        Out out{*native};
        out.U16(start, in.U16(at));
        out.U16(start + 2, height);
        out.U16(start + 4, rowBytes);
        uint16_t nflags = Convert(flags, kBitmapFlags);
        if (reference) nflags |= 0x08;  // indirect: the bits stay in the 68K bitmap
        out.U16(start + 6, nflags);
        out.U8(start + 8, in.U8(at + 8));
        uint8_t pixelSize = in.U8(at + 8);
        if (version == 0 && pixelSize != 1 && pixelSize != 2 && pixelSize != 4 && pixelSize != 8 &&
            pixelSize != 16)
            out.U8(start + 8, 1);
        if (v3) {
            out.U8(start + 9, version);
            out.Bytes(start + 10, in.p + at + 10, 4);
            out.U16(start + 14, in.U16(at + 14));
            out.U32(start + 16, in.U32(at + 16));
            out.U32(start + 20, step ? size : 0);
        } else {
            out.U8(start + 9, marker ? 0x81 : 0x82);
            out.U16(start + 10, static_cast<uint16_t>(step ? size / 4 : 0));
            out.Bytes(start + 12, in.p + at + 12, 4);
        }
        uint32_t o = start + header;
        if (extra) {
            if ((flags & kBmpColorTable) && !(v3 && (flags & kBmpIndirectColorTable))) {
                out.U16(o, in.U16(from));
                out.Bytes(o + 2, in.p + from + 2, extra - 2 - ((flags & kBmpIndirect) ? 4 : 0));
            } else if (v3 && (flags & kBmpColorTable)) {
                out.U32(o, in.U32(from));
            } else if (!(flags & kBmpIndirect) || extra > 4) {
                out.Bytes(o, in.p + from, extra - ((flags & kBmpIndirect) ? 4 : 0));
            }
            if (flags & kBmpIndirect) out.U32(o + extra - 4, in.U32(from + extra - 4));
        }
        o += extra;
        if (reference)
            out.U32(o, bitsByReference + bitsAt);
        else
            out.Bytes(o, in.p + bitsAt, bits);
        if (!step || version == 0) break;
        at += step;
    }
    return in.bad ? kRsrcErrParam : 0;
}

// ---- forms ----

struct FormContext {
    uint32_t source, destination;
};

// The native size of one 68K form object record at `rec` (0 for an unknown kind).
uint32_t ObjectSize(In& in, uint8_t kind, uint32_t rec) {
    switch (kind) {
        case 0:
            return 40;
        case 1: {
            const uint16_t attributes = in.U16(rec + 14);
            if (attributes & 0x0080) {  // graphical
                const uint8_t style = in.U8(rec + 16);
                return style == 6 || style == 7 ? 32 : 20;
            }
            return 20 + Pad4(in.TextSize(rec + 20));
        }
        case 2: {
            const uint32_t items = in.U16(rec + 16);
            uint32_t texts = 0, at = rec + 32 + 4 * items;
            for (uint32_t i = 0; i < items && !in.bad; ++i) {
                const uint32_t n = in.TextSize(at);
                texts += n;
                at += n;
            }
            return Pad4(32 + 4 * items + texts);
        }
        case 3: {
            const uint32_t columns = in.U16(rec + 12), rows = in.U16(rec + 14);
            return 76 + 20 * columns + 12 * rows + 8 * rows * columns;
        }
        case 4:
            return 8;
        case 8:
            return 16 + Pad4(in.TextSize(rec + 14));
        case 9:
            return 12 + Pad4(in.TextSize(rec + 12));
        case 10:
        case 11:
            return 4;
        case 12:
            return 20;
        case 13:
            return 24;
        default:
            return 0;
    }
}

uint16_t NestedBitmap(const FormContext& fc, uint16_t id) {
    if (!id || !fc.source || !fc.destination) return 0;
    return RsrcTranslateByID(fc.source, fc.destination, FourCC("Tbmp"), id);
}

uint16_t ConvertObject(In& in, Out& out, uint8_t kind, uint32_t rec, uint32_t to, const FormContext& fc) {
    switch (kind) {
        case 0:
            Words(in, out, rec + 2, to, 4);
            out.U16(to + 8, in.U16(rec));
            out.U16(to + 10, Convert(in.U16(rec + 10), kFieldAttributes));
            out.U16(to + 28, in.U16(rec + 28));
            out.U8(to + 38, in.U8(rec + 38));
            out.U8(to + 39, in.U8(rec + 39));
            return 0;
        case 1: {
            const uint16_t attributes = in.U16(rec + 14);
            out.U16(to, in.U16(rec));
            out.U16(to + 2, Convert(attributes, kControlAttributes));
            Words(in, out, rec + 2, to + 4, 4);
            for (uint32_t i = 16; i < 20; ++i) out.U8(to + i, in.U8(rec + i));
            if (attributes & 0x0080) {
                const uint16_t bitmap = in.U16(rec + 10), selected = in.U16(rec + 12);
                out.U16(to + 12, bitmap);
                out.U16(to + 14, selected);
                const uint8_t style = in.U8(rec + 16);
                if (style == 6 || style == 7) Words(in, out, rec + 18, to + 18, 4);
                if (uint16_t err = NestedBitmap(fc, bitmap)) return err;
                return NestedBitmap(fc, selected);
            }
            const uint32_t n = in.TextSize(rec + 20);
            if (n) out.Bytes(to + 20, in.p + rec + 20, n);
            return 0;
        }
        case 2: {
            const uint32_t items = in.U16(rec + 16);
            out.U16(to, in.U16(rec));
            out.U16(to + 2, Convert(in.U16(rec + 10), kListAttributes));
            Words(in, out, rec + 2, to + 4, 4);
            out.U16(to + 16, static_cast<uint16_t>(items));
            out.U8(to + 22, in.U8(rec + 22));
            out.U8(to + 23, in.U8(rec + 23));
            uint32_t from = rec + 32 + 4 * items, at = to + 32 + 4 * items;
            for (uint32_t i = 0; i < items; ++i) {
                const uint32_t n = in.TextSize(from);
                if (!n) break;
                out.Bytes(at, in.p + from, n);
                from += n;
                at += n;
            }
            return 0;
        }
        case 3: {
            const uint32_t columns = in.U16(rec + 12), rows = in.U16(rec + 14);
            out.U16(to, in.U16(rec));
            out.U16(to + 2, Convert(in.U16(rec + 10), kTableAttributes));
            Words(in, out, rec + 2, to + 4, 4);
            out.U16(to + 12, static_cast<uint16_t>(columns));
            out.U16(to + 14, static_cast<uint16_t>(rows));
            const uint32_t cols68 = rec + 74, colsNative = to + 76;
            for (uint32_t c = 0; c < columns; ++c) {
                out.U16(colsNative + 20 * c, in.U16(cols68 + 18 * c));
                out.U16(colsNative + 20 * c + 2, in.U16(cols68 + 18 * c + 4));
            }
            const uint32_t rows68 = cols68 + 18 * columns, rowsNative = colsNative + 20 * columns;
            for (uint32_t r = 0; r < rows; ++r) {
                if (!in.Has(rows68 + 12 * r, 12)) return kRsrcErrParam;
                out.Bytes(rowsNative + 12 * r, in.p + rows68 + 12 * r, 12);
                out.U16(rowsNative + 12 * r + 2, in.U16(rows68 + 12 * r + 2));
                out.U16(rowsNative + 12 * r + 8, Convert(in.U16(rows68 + 12 * r + 8), kTableRowAttributes));
            }
            const uint32_t items68 = rows68 + 12 * rows, itemsNative = rowsNative + 12 * rows;
            for (uint32_t i = 0; i < rows * columns; ++i) {
                if (!in.Has(items68 + 8 * i, 8)) return kRsrcErrParam;
                out.Bytes(itemsNative + 8 * i, in.p + items68 + 8 * i, 8);
                out.U16(itemsNative + 8 * i + 2, in.U16(items68 + 8 * i + 2));
            }
            return 0;
        }
        case 4:
            out.U16(to, Convert(in.U16(rec), kUsableAttributes));
            Words(in, out, rec + 2, to + 4, 2);
            out.U16(to + 2, in.U16(rec + 6));
            return NestedBitmap(fc, in.U16(rec + 6));
        case 8: {
            out.U16(to + 8, in.U16(rec));
            Words(in, out, rec + 2, to, 2);
            out.U16(to + 10, Convert(in.U16(rec + 6), kUsableAttributes));
            out.U8(to + 12, in.U8(rec + 8));
            out.U8(to + 13, in.U8(rec + 9));
            const uint32_t n = in.TextSize(rec + 14);
            if (n) out.Bytes(to + 16, in.p + rec + 14, n);
            return 0;
        }
        case 9: {
            Words(in, out, rec, to, 4);
            const uint32_t n = in.TextSize(rec + 12);
            if (n) out.Bytes(to + 12, in.p + rec + 12, n);
            return 0;
        }
        case 10:
        case 11:
            Words(in, out, rec, to, 2);
            return 0;
        case 12:
            out.U16(to, in.U16(rec));
            out.U16(to + 2, Convert(in.U16(rec + 2), kGadgetAttributes));
            Words(in, out, rec + 4, to + 4, 4);
            return 0;
        case 13:
            Words(in, out, rec, to, 4);
            out.U16(to + 8, in.U16(rec + 8));
            out.U16(to + 10, Convert(in.U16(rec + 10), kScrollBarAttributes));
            Words(in, out, rec + 12, to + 12, 4);
            return 0;
        default:
            return 0;
    }
}

uint16_t TranslateForm(In& in, std::vector<uint8_t>* native, const FormContext& fc) {
    if (!in.Has(0, 68)) return kRsrcErrParam;
    const uint16_t count = in.U16(62);
    if (!in.Has(68, 6u * count)) return kRsrcErrParam;
    uint32_t size = 68 + 8u * count;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t kind = in.U8(68 + 6 * i);
        const uint32_t n = ObjectSize(in, kind, in.U32(68 + 6 * i + 2));
        if (!n) ErrDisplayFileLineMsg(kFile, 1895, "Unknown form object type");
        size += n;
    }
    if (in.bad) return kRsrcErrParam;
    native->assign(size, 0);
    Out out{*native};
    Words(in, out, 10, 8, 4);
    out.U16(28, Convert(in.U16(8), kWindowFlags));
    out.U16(30, Convert(in.U16(30), kFrameType));
    out.U16(52, in.U16(40));
    out.U16(40, Convert(in.U16(42), kFormAttributes));
    out.U16(42, in.U16(44));
    for (uint32_t o : {56u, 58u, 60u, 62u}) out.U16(o, in.U16(o));
    if (const uint16_t menu = in.U16(60); menu && fc.source && fc.destination)
        if (uint16_t err = RsrcTranslateByID(fc.source, fc.destination, FourCC("MBAR"), menu)) return err;
    uint32_t at = 68 + 8u * count;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t kind = in.U8(68 + 6 * i);
        const uint32_t rec = in.U32(68 + 6 * i + 2);
        const uint32_t n = ObjectSize(in, kind, rec);
        out.U32(68 + 8 * i, at);
        out.U8(68 + 8 * i + 4, kind);
        if (!n) continue;
        if (uint16_t err = ConvertObject(in, out, kind, rec, at, fc)) return err;
        at += n;
    }
    if (in.bad) return kRsrcErrParam;
    if (at != size) ErrDisplayFileLineMsg(kFile, 1902, "DstOffset != frmSize");
    return 0;
}

bool IsResourceDb(uint32_t dbRef, uint16_t* attributes = nullptr) {
    uint32_t id = 0;
    uint16_t attr = 0;
    if (sys::DmOpenDatabaseIdentity(dbRef, &id, nullptr, nullptr) != 0) return false;
    if (sys::DmDatabaseInfoByID(id, nullptr, &attr, nullptr, nullptr, nullptr, nullptr) != 0) return false;
    if (attributes) *attributes = attr;
    return attr & kDbAttrResource;
}

}  // namespace

uint32_t RsrcMapType(uint32_t type) {
    static const uint32_t kMap[][2] = {
        {FourCC("tFRM"), FourCC("afrm")}, {FourCC("Talt"), FourCC("aalt")}, {FourCC("MBAR"), FourCC("amnu")},
        {FourCC("Tbmp"), FourCC("abmp")}, {FourCC("NFNT"), FourCC("afnt")}, {FourCC("nfnt"), FourCC("afnx")},
        {FourCC("tint"), FourCC("aint")}, {FourCC("wrdl"), FourCC("awrd")}, {FourCC("tclt"), FourCC("aclt")},
        {FourCC("fnti"), FourCC("afti")}, {FourCC("BLST"), FourCC("abyt")}, {FourCC("DLST"), FourCC("adwd")},
    };
    for (const auto& entry : kMap)
        if (entry[0] == type) return entry[1];
    return type;
}

uint16_t Bitfield16To68K(uint16_t native, const uint8_t* widths) {
    uint32_t out = 0;
    int from = 0, to = 16;
    for (const uint8_t* w = widths; *w; ++w) {
        const int width = *w;
        if (width > to) break;
        to -= width;
        out |= ((uint32_t{native} >> from) & ((1u << width) - 1)) << to;
        from += width;
    }
    return static_cast<uint16_t>(out);
}

uint16_t RsrcTranslateImage(uint32_t type68K, const uint8_t* image, uint32_t size,
                            std::vector<uint8_t>* native, uint32_t source, uint32_t destination) {
    if (!image || !native) return kRsrcErrParam;
    In in{image, size};
    const uint32_t t = RsrcMapType(type68K);
    try {
        if (t == FourCC("aint")) return TranslateInteger(in, native);
        if (t == FourCC("aalt")) return TranslateAlert(in, native);
        if (t == FourCC("afnt") || t == FourCC("afnx")) return TranslateFont(in, native);
        if (t == FourCC("amnu")) return TranslateMenuBar(in, native);
        if (t == FourCC("abmp")) return TranslateBitmaps(in, native, 0);
        if (t == FourCC("afrm")) return TranslateForm(in, native, FormContext{source, destination});
    } catch (const std::bad_alloc&) {
        return kRsrcErrNoMemory;
    }
    return kRsrcErrNothingToDo;
}

uint16_t RsrcTranslateIndexed(uint32_t source, uint32_t destination, uint16_t index) {
    if (!IsResourceDb(source)) return kRsrcErrNotResourceDb;
    uint32_t type = 0;
    uint16_t id = 0;
    if (uint16_t err = sys::DmResourceInfo(source, index, &type, &id, nullptr)) return err;
    const uint32_t nativeType = RsrcMapType(type);
    if (nativeType == type) return kRsrcErrNothingToDo;
    uint16_t attributes = 0;
    if (!IsResourceDb(destination, &attributes)) return kRsrcErrNotResourceDb;
    uint32_t writable = destination;
    if (!(attributes & kDbAttrReadOnly)) {
        uint32_t destID = 0;
        sys::DmOpenDatabaseIdentity(destination, &destID, nullptr, nullptr);
        writable = sys::DmOpenDatabaseByID(destID, kModeReadWrite);
        if (!writable) return kRsrcErrReadOnly;
    }
    uint16_t err = 0;
    if (uint16_t old = sys::DmFindResource(writable, nativeType, id, nullptr); old != 0xFFFF)
        sys::DmRemoveResourceByIndex(writable, old);
    void* handle = sys::DmGetResourceIndex(source, index);
    const auto* image = handle ? static_cast<const uint8_t*>(sys::MemHandleLock(handle)) : nullptr;
    std::vector<uint8_t> translated;
    if (!image) {
        err = kRsrcErrNotFound;
    } else {
        err = RsrcTranslateImage(type, image, sys::MemHandleSize(handle), &translated, source, destination);
        sys::MemHandleUnlock(handle);
    }
    if (err == kRsrcErrNothingToDo) {
        err = 0;  // a type without translator writes nothing
    } else if (!err) {
        void* made = sys::DmNewResource(writable, nativeType, id, static_cast<uint32_t>(translated.size()));
        if (!made) {
            err = sys::DmGetLastErr();
        } else {
            void* p = sys::MemHandleLock(made);
            if (p && !translated.empty())
                sys::DmWrite(p, 0, translated.data(), static_cast<uint32_t>(translated.size()));
            sys::MemHandleUnlock(made);
            sys::DmReleaseResource(made);
        }
    }
    if (writable != destination) sys::DmCloseDatabase(writable);
    return err;
}

uint16_t RsrcTranslateByID(uint32_t source, uint32_t destination, uint32_t type68K, uint16_t id) {
    const uint16_t index = sys::DmFindResource(source, type68K, id, nullptr);
    if (index == 0xFFFF) return kRsrcErrNotFound;
    const uint16_t err = RsrcTranslateIndexed(source, destination, index);
    return err == kRsrcErrNothingToDo ? 0 : err;
}

uint16_t RsrcPrepare(EmulState* s, uint32_t type68K, uint16_t id, bool oneDatabase) {
    if (RsrcMapType(type68K) == type68K) return 0;
    void* handle = oneDatabase ? sys::DmGet1Resource(type68K, id) : sys::DmGetResource(type68K, id);
    if (!handle) return sys::DmGetLastErr() ? sys::DmGetLastErr() : kRsrcErrNotFound;
    uint32_t db = 0;
    const uint16_t index = SysCall<uint16_t(uint32_t, uint16_t, void*, uint32_t*)>(slot::DmSearchResource,
                                                                                   type68K, id, handle, &db);
    uint16_t err = kRsrcErrNotFound;
    uint32_t cache = 0;
    for (EmulState* c = s; c && !cache; c = c->parent) cache = Addr(c->resourceCache);
    if (index != 0xFFFF && db) {
        err = cache ? RsrcTranslateIndexed(db, cache, index) : kRsrcErrNotResourceDb;
        if (err && err != kRsrcErrNothingToDo && ReserveRelease(s) == 0)
            err = RsrcTranslateIndexed(db, cache, index);
    }
    sys::DmReleaseResource(handle);
    return err == kRsrcErrNothingToDo ? 0 : err;
}

void RsrcRelease(EmulState* s, uint32_t type68K, uint16_t id) {
    EmulState* g = GetGlobalContext();
    if (!g || !(g->flags & kFlagReserveReleased)) return;
    uint32_t cache = 0;
    for (EmulState* c = s; c && !cache; c = c->parent) cache = Addr(c->resourceCache);
    const uint32_t nativeType = RsrcMapType(type68K);
    if (cache && nativeType != type68K) {
        const uint16_t index = sys::DmFindResource(cache, nativeType, id, nullptr);
        uint32_t cacheID = 0;
        if (index != 0xFFFF && sys::DmOpenDatabaseIdentity(cache, &cacheID, nullptr, nullptr) == 0)
            if (uint32_t second = sys::DmOpenDatabaseByID(cacheID, kModeReadWrite)) {
                sys::DmRemoveResourceByIndex(second, index);
                sys::DmCloseDatabase(second);
            }
    }
    ReserveRestore();
}

}  // namespace morvel
