#include "morvel/traps/MenuGlue.h"

#include <cstring>

#include "common/FourCC.h"
#include "morvel/glue/MorvelOs.h"
#include "morvel/traps/ResourceTranslate.h"
#include "morvel/traps/TrapGlue.h"

namespace morvel {
namespace {

using namespace trapglue;
using vantor::NativeMenuBar;

constexpr uint16_t kMenuCmdBarAddButton = 235, kMenuCmdBarDisplay = 236, kMenuCmdBarGetButtonData = 237,
                   kMenuDispose = 238, kMenuGetActiveMenu = 242, kMenuInit = 245, kMenuSetActiveMenu = 246,
                   kMenuSetActiveMenuRscID = 247;
constexpr uint16_t kMenuKind = 0xFFFE;
constexpr uint16_t kErrStorageFull = 0x0201;
const uint32_t kMenuBar68K = vantor::FourCC("MBAR");
constexpr uint32_t kMenuRecordBytes = 34, kItemRecordBytes = 8, kShadowHeaderBytes = 48;

template <typename Sig, typename... A>
auto Ui(uint16_t slotNumber, A... args) {
    return UiImport().Call<Sig>(slotNumber, args...);
}

MenuShadow*& Head(EmulState* s) { return *reinterpret_cast<MenuShadow**>(&s->menuShadows[0]); }
MenuShadow*& Cache(EmulState* s) { return *reinterpret_cast<MenuShadow**>(&s->menuShadows[1]); }

template <typename Match>
MenuShadow* FindBy(EmulState* s, Match match) {
    if (MenuShadow* c = Cache(s); c && match(c)) return c;
    for (MenuShadow* m = Head(s); m; m = m->next)
        if (match(m)) return Cache(s) = m;
    return nullptr;
}

void Unlink(EmulState* s, MenuShadow* m) {
    if (m->prev)
        m->prev->next = m->next;
    else
        Head(s) = m->next;
    if (m->next) m->next->prev = m->prev;
    if (Cache(s) == m) Cache(s) = nullptr;
    ShadowFree(m);
}

void WriteRect(uint32_t at, const vantor::NativeUiRect& r) {
    Write68KUInt16(at, 0, static_cast<uint16_t>(r.x));
    Write68KUInt16(at, 2, static_cast<uint16_t>(r.y));
    Write68KUInt16(at, 4, static_cast<uint16_t>(r.width));
    Write68KUInt16(at, 6, static_cast<uint16_t>(r.height));
}

void RefreshAttr(MenuShadow* m) {
    Write68KUInt16(Addr(m->image), 16, (m->native->attr & vantor::kMenuBarVisible) ? 0x8000 : 0);
}

void ResultBar(EmulState* s, NativeMenuBar* bar, bool reuse) {
    MenuShadow* m = bar ? MenuShadowBuild(s, bar, reuse) : nullptr;
    SetResultA0(s, m ? Addr(m->image) : 0);
}

// MenuInit and ResLoadMenu (resource ID): a new bar with a fresh shadow, built by the UI library
// from the native translation of the 'MBAR' resource.
void TrapMenuInit(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0);
    if (RsrcPrepare(s, kMenuBar68K, id, false) == kErrStorageFull) {
        SetResultA0(s, 0);
        return;
    }
    NativeMenuBar* bar = Ui<NativeMenuBar*(uint16_t)>(kMenuInit, id);
    MenuShadow* m = bar ? MenuShadowBuild(s, bar, false) : nullptr;
    if (bar && !m) Ui<void(NativeMenuBar*)>(kMenuDispose, bar);
    RsrcRelease(s, kMenuBar68K, id);
    SetResultA0(s, m ? Addr(m->image) : 0);
}
void TrapMenuDispose(EmulState* s, uint16_t) {
    const uint32_t image = GetArgPtr(s, 0);
    MenuShadow* m = image ? FindBy(s, [image](const MenuShadow* x) { return Addr(x->image) == image; }) : nullptr;
    Ui<void(NativeMenuBar*)>(kMenuDispose, m ? m->native : nullptr);
    if (m) Unlink(s, m);
}
void TrapMenuGetActiveMenu(EmulState* s, uint16_t) {
    NativeMenuBar* bar = Ui<NativeMenuBar*()>(kMenuGetActiveMenu);
    MenuShadow* m = bar ? MenuShadowBuild(s, bar, true) : nullptr;
    if (m) RefreshAttr(m);
    SetResultA0(s, m ? Addr(m->image) : 0);
}
void TrapMenuSetActiveMenu(EmulState* s, uint16_t) {
    NativeMenuBar* previous = Ui<NativeMenuBar*(NativeMenuBar*)>(kMenuSetActiveMenu, MenuNativeOf(s, GetArgPtr(s, 0)));
    ResultBar(s, previous, true);
}
void TrapMenuSetActiveMenuRscID(EmulState* s, uint16_t) {
    const uint16_t id = U16(s, 0);
    RsrcPrepare(s, kMenuBar68K, id, false);
    Ui<void(uint16_t)>(kMenuSetActiveMenuRscID, id);
    RsrcRelease(s, kMenuBar68K, id);
}

void TrapMenuCmdBarAddButton(EmulState* s, uint16_t) {
    SetResultD0UInt16(s, Ui<uint16_t(uint8_t, uint16_t, uint8_t, uint32_t, char*)>(
                             kMenuCmdBarAddButton, U8(s, 0), U16(s, 2), U8(s, 4), U32(s, 6), Str(GetArgPtr(s, 10))));
}
void TrapMenuCmdBarGetButtonData(EmulState* s, uint16_t) {
    uint16_t bitmap = 0;
    uint8_t type = 0;
    uint32_t result = 0;
    const uint8_t found = Ui<uint8_t(int16_t, uint16_t*, uint8_t*, uint32_t*, char*)>(
        kMenuCmdBarGetButtonData, I16(s, 0), &bitmap, &type, &result, Str(GetArgPtr(s, 14)));
    if (found) {
        if (uint32_t p = GetArgPtr(s, 2)) Write68KUInt16(p, 0, bitmap);
        if (uint32_t p = GetArgPtr(s, 6)) Write68KInt8(p, 0, type);
        if (uint32_t p = GetArgPtr(s, 10)) Write68KUInt32(p, 0, result);
    }
    SetResultD0UInt8(s, found);
}
void TrapMenuCmdBarDisplay(EmulState*, uint16_t) { Ui<void()>(kMenuCmdBarDisplay); }

}  // namespace

MenuShadow* MenuShadowBuild(EmulState* s, NativeMenuBar* bar, bool reuse) {
    if (MenuShadow* old = FindBy(s, [bar](const MenuShadow* m) { return m->native == bar; })) {
        if (reuse) return old;
        Unlink(s, old);
    }
    const uint32_t menus = bar->numMenus > 0 && bar->menus ? static_cast<uint32_t>(bar->numMenus) : 0;
    uint32_t items = 0;
    for (uint32_t i = 0; i < menus; ++i) items += bar->menus[i].items ? bar->menus[i].numItems : 0;
    const uint32_t size = kShadowHeaderBytes + kMenuRecordBytes * menus + kItemRecordBytes * items;
    if (size > 0xFFFF) return nullptr;
    auto* m = static_cast<MenuShadow*>(ShadowNew(size));
    if (!m) return nullptr;
    m->kind = kMenuKind;
    m->size = static_cast<uint16_t>(size);
    m->native = bar;
    const uint32_t image = Addr(m->image);
    Write68KUInt32(image, 16, 0);
    RefreshAttr(m);
    Write68KUInt16(image, 18, static_cast<uint16_t>(bar->curMenu));
    Write68KUInt16(image, 20, static_cast<uint16_t>(bar->curItem));
    Write68KUInt16(image, 26, static_cast<uint16_t>(menus));
    const uint32_t first = image + 32;
    Write68KUInt32(image, 28, first);
    uint32_t item = first + kMenuRecordBytes * menus;
    for (uint32_t i = 0; i < menus; ++i) {
        const vantor::NativeMenuPull& pull = bar->menus[i];
        const uint32_t rec = first + kMenuRecordBytes * i;
        const uint32_t count = pull.items ? pull.numItems : 0;
        Write68KUInt32(rec, 0, 0);
        WriteRect(rec + 4, pull.bounds);
        Write68KUInt32(rec, 12, 0);
        WriteRect(rec + 16, pull.titleBounds);
        Write68KUInt32(rec, 24, Addr(pull.title));
        Write68KUInt16(rec, 28, static_cast<uint16_t>(count | ((pull.attr & vantor::kMenuHidden) ? 0x8000 : 0)));
        Write68KUInt32(rec, 30, item);
        for (uint32_t k = 0; k < count; ++k, item += kItemRecordBytes) {
            const vantor::NativeMenuItem& it = pull.items[k];
            Write68KUInt16(item, 0, it.itemId);
            Write68KInt8(item, 2, static_cast<uint8_t>(it.command));
            Write68KInt8(item, 3, (it.attr & vantor::kMenuItemHidden) ? 0x80 : 0);
            Write68KUInt32(item, 4, Addr(it.text));
        }
    }
    m->prev = nullptr;
    m->next = Head(s);
    if (Head(s)) Head(s)->prev = m;
    Head(s) = m;
    Cache(s) = m;
    return m;
}

NativeMenuBar* MenuNativeOf(EmulState* s, uint32_t image) {
    if (!image) return nullptr;
    MenuShadow* m = FindBy(s, [image](const MenuShadow* x) { return Addr(x->image) == image; });
    return m ? m->native : nullptr;
}

void MenuShadowsFreeAll(EmulState* s) {
    while (Head(s)) Unlink(s, Head(s));
}

void MenuGlueInstall(TrapHandler* t) {
    t[0x1BD] = TrapMenuInit;
    t[0x278] = TrapMenuInit;
    t[0x1BE] = TrapMenuDispose;
    t[0x1C2] = TrapMenuGetActiveMenu;
    t[0x1C3] = TrapMenuSetActiveMenu;
    t[0x2FA] = TrapMenuSetActiveMenuRscID;
    t[0x3C7] = TrapMenuCmdBarAddButton;
    t[0x3C8] = TrapMenuCmdBarGetButtonData;
    t[0x3C9] = TrapMenuCmdBarDisplay;
}

}  // namespace morvel
