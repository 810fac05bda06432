// Bitmaps as 68K code meets them: native bitmaps the OS made (each with a bitmap shadow holding a
// 16-byte 68K header image whose address 68K code is given), native bitmaps translated from
// resources (bit 0x80 of the version byte), and raw 68K bitmaps in the application's memory, read
// in place and translated for a native call when one needs them.
#pragma once

#include <cstdint>
#include <vector>

#include "common/module/NativeUi.h"
#include "morvel/cpu/EmulState.h"

namespace morvel {

struct BitmapShadow {
    BitmapShadow* prev;
    BitmapShadow* next;
    uint16_t zero;
    uint16_t kind;  // 0xFFFF
    vantor::NativeBitmap* native;
    uint8_t image[16];
};
static_assert(sizeof(BitmapShadow) == 32);

uint32_t BitmapShadowBuild(EmulState* s, vantor::NativeBitmap* native);
BitmapShadow* BitmapShadowFind68K(EmulState* s, uint32_t image, bool sync);
BitmapShadow* BitmapShadowFindNative(EmulState* s, const vantor::NativeBitmap* native);
void BitmapShadowFree(EmulState* s, BitmapShadow* shadow);
void BitmapShadowsFreeAll(EmulState* s);

// The window glue tells that a window goes: its bitmap's shadow or translation goes with it.
void BitmapWindowRelease(EmulState* s, void* window);

// The bitmap argument at `offset`: the native bitmap of a shadow or of a translated resource
// (in `native`), or 0 there for a raw 68K bitmap, whose address is returned.
uint32_t BitmapFromArg(EmulState* s, uint32_t offset, vantor::NativeBitmap** native);
// The same, a raw 68K bitmap translated into a temporary native bitmap (`allocated` set) that the
// caller frees with BitmapTranslationFree after the call; null for a null or unusable bitmap.
vantor::NativeBitmap* BitmapFromArgTranslated(EmulState* s, uint32_t offset, bool* allocated);
void BitmapTranslationFree(vantor::NativeBitmap* bitmap);
// A0 = the 68K pointer of a native bitmap's shadow (made when missing), 0 for null.
void BitmapResultA0(EmulState* s, vantor::NativeBitmap* native);

// A raw 68K bitmap as read in place: its header, and where its colour table (count, entries),
// direct-colour information and bits are (0 for none). False when the header cannot be one or
// when any of its parts (the bits at their declared size among them) does not lie whole in memory
// of the caller's context.
struct RawBitmap {
    uint32_t p;
    uint16_t width, height, rowBytes, flags;
    uint8_t pixelSize, version, compressionType;
    uint32_t headerSize, colorTableSize, bitsOffset;
    uint32_t colorTable, directColor, bits, bitsSize;
};
bool RawBitmapRead(const EmulState* s, uint32_t p, RawBitmap* out);
// The bytes 68K memory of the context holds from `p` on; 0 for none.
uint32_t BitmapExtent(const EmulState* s, uint32_t p);

// A bitmap going to the clipboard as one self-contained 68K bitmap: its header, its colour table or
// direct-colour information, then its bits, all in place (no indirect parts, no next bitmap). A
// bitmap the OS made (one with a shadow) is built from the OS's answers about it; a raw 68K bitmap
// is gathered from the application's memory. Empty when the bitmap cannot be read whole or would
// not fit a clipboard item.
std::vector<uint8_t> BitmapClipboardImage(EmulState* s, uint32_t p);

// The 68K header (24 bytes, zeroed first) of a native bitmap from the OS's answers about it; `flags`
// gets its 68K flags and `version3` whether the header is 24 bytes long rather than 16. 0x0502 for a
// version the 68K side does not know.
uint16_t BitmapTo68KImage(vantor::NativeBitmap* bitmap, uint8_t* header, uint16_t* flags, bool* version3);

// AccessorDispatch selectors 3-5 on a bitmap (argument 0); false for another selector.
bool BitmapAccessorSelector(EmulState* s, uint16_t selector);

void BitmapGlueInstall(TrapHandler* table);

}  // namespace morvel
