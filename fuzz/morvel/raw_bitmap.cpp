// Raw 68K bitmaps that an application hands to the bitmap traps. Input: the bitmap's bytes, the
// whole of the memory the application owns; the reader may read only those bytes, every part it
// reports (colour table, bits at their declared size) lies within them, a bitmap translated
// for drawing reads as a drawing record, and a bitmap gathered for the clipboard reads back as a
// bitmap that lies whole in its own bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/BigEndian.h"
#include "common/module/KezSlots.h"
#include "common/module/ModuleGlue.h"
#include "common/module/ModuleInterface.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/traps/BitmapGlue.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiBitmap.h"

namespace {

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Kez as far as pointer validation asks it: no memory beyond the context's regions.
uint32_t NoArea(uint32_t, uint8_t) { return 0; }
vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table = [] {
        std::vector<vantor::ModuleProc> t(vantor::kKezSlots, nullptr);
        t[vantor::kezslot::HALMemoryGetAreaSize] = reinterpret_cast<vantor::ModuleProc>(&NoArea);
        return t;
    }();
    return table.data();
}

// Touches every byte of a range, so that the sanitizer sees a part that lies outside the input.
uint32_t Sum(uint32_t p, uint32_t size) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < size; ++i) sum += reinterpret_cast<const volatile uint8_t*>(uintptr_t{p})[i];
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (vantor::glue::SetSystemTable(vantor::os::SystemTable()), vantor::os::CaptureOutput(true),
                               vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(),
                                                         vantor::kKezSlots),
                               true);
    (void)ready;
    // Exactly the input's bytes, so that the sanitizer sees any read beyond them.
    std::vector<uint8_t> memory(data, data + size);
    uint8_t stack[16] = {};
    morvel::EmulState s{};
    s.global = &s;
    s.regions[0] = {Addr(memory.data()), static_cast<uint32_t>(memory.size())};
    if (memory.empty()) s.regions[0] = {};
    const uint32_t p = Addr(memory.data());
    morvel::RawBitmap raw{};
    if (morvel::RawBitmapRead(&s, p, &raw)) {
        if (raw.headerSize > size || raw.bitsOffset > size) std::abort();
        if (raw.colorTable) Sum(raw.colorTable, 2 + 4u * vantor::ReadBE16(reinterpret_cast<uint8_t*>(uintptr_t{raw.colorTable})));
        if (raw.bits) Sum(raw.bits, raw.bitsSize);
    }
    // The translation for a drawing call, the bitmap argument on the 68K stack.
    vantor::WriteBE32(stack, p);
    s.A[7] = Addr(stack);
    bool allocated = false;
    vantor::NativeBitmap* b = morvel::BitmapFromArgTranslated(&s, 0, &allocated);
    if (allocated) {
        vantor::HALBitmap drawing{};
        std::vector<uint8_t> table;
        if (vantor::os::ui::BitmapToDrawing(b, &drawing, &table) && !(drawing.flags & vantor::kBitmapCompressed))
            Sum(Addr(drawing.bits), uint32_t{drawing.rowBytes} * drawing.height);
        morvel::BitmapTranslationFree(b);
    }
    std::vector<uint8_t> clip = morvel::BitmapClipboardImage(&s, p);
    if (!clip.empty()) {
        s.regions[0] = {Addr(clip.data()), static_cast<uint32_t>(clip.size())};
        morvel::RawBitmap again{};
        if (clip.size() > 0xFFFF || !morvel::RawBitmapRead(&s, Addr(clip.data()), &again)) std::abort();
        if (again.bits + again.bitsSize > Addr(clip.data()) + clip.size()) std::abort();
    }
    return 0;
}
