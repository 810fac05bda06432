// Lists as 68K code sees them: the 40-byte big-endian 68K list image of a list's object shadow,
// item arrays converted between byte orders, a private native list lent to 68K lists that belong
// to no form, the trampoline that runs a list's 68K draw callback, and the list and category traps.
#pragma once

#include <cstdint>

#include "common/module/NativeUi.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/traps/FormGlue.h"

namespace morvel {

constexpr uint32_t kListImageBytes = 40;

// What a list shadow keeps after its image.
struct ListExtra {
    char** nativeItems;  // the native item array this glue allocated, or null
    uint8_t ownsCopy;    // the image's item array is a 68K copy this glue allocated
    uint8_t showAll;     // the category traps' show-all flag
    uint16_t reserved;
};
constexpr uint32_t kListShadowBytes = 16 + kListImageBytes + sizeof(ListExtra);

// The native list of the 68K list at argument `offset` (0 for null or no memory); `image` gets the
// 68K list address and `extra` the shadow's own fields.
vantor::NativeList* ListFromArg(EmulState* s, uint32_t offset, uint32_t* image, ListExtra** extra);
// The 68K list address of a native list: the cache, the free-standing list, the form shadows.
uint32_t ListImageForNative(EmulState* s, const vantor::NativeList* native);

// Hooks of the form glue: the image of a new list shadow, the image's state handed to the native
// list before it is drawn, and the release of what the shadow owns when it goes.
void ListImageFill(ObjectShadow* shadow);
void ListImageSync(uint32_t image, vantor::NativeList* native);
void ListShadowRelease(EmulState* s, ObjectShadow* shadow);
// The context's free-standing list, when it goes.
void ListGlueFree(EmulState* s);

// The UI library's draw callback for lists with a 68K one.
void ListDrawTrampoline(int16_t item, vantor::NativeUiRect* bounds, char** itemsText, vantor::NativeList* list);

// AccessorDispatch selectors 19-22 and 27 on a list (argument 0); false for another selector.
bool ListAccessorSelector(EmulState* s, uint16_t selector);

void ListGlueInstall(TrapHandler* table);

}  // namespace morvel
