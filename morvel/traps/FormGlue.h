// Forms as 68K code sees them: one form shadow per native form per context, holding the 68-byte
// big-endian 68K form image whose address 68K code is given; the form traps that map such an
// address back to the UI library's form; and the trampoline through which the UI library runs a
// form's 68K event handler.
#pragma once

#include <cstdint>

#include "common/module/SystemCalls.h"
#include "morvel/cpu/EmulState.h"
#include "morvel/traps/UiImageOffsets.h"

namespace morvel {

struct FormShadow {
    FormShadow* prev;
    FormShadow* next;
    uint16_t formID;
    uint16_t kind;
    void* native;
    uint8_t image[68];
    uint32_t handler;  // the 68K event handler, native order
    uint32_t objectCount;
    void* objects;
    void* lastObject;
};
static_assert(sizeof(FormShadow) == 100);

constexpr uint32_t kFormImageFormID = MORVEL_FORM_IMAGE_FORM_ID,
                   kFormImageHandler = MORVEL_FORM_IMAGE_HANDLER, kFormImageFocus = MORVEL_FORM_IMAGE_FOCUS,
                   kFormImageDefaultButton = MORVEL_FORM_IMAGE_DEFAULT_BUTTON,
                   kFormImageHelp = MORVEL_FORM_IMAGE_HELP, kFormImageMenu = MORVEL_FORM_IMAGE_MENU,
                   kFormImageCount = MORVEL_FORM_IMAGE_COUNT;
static_assert(sizeof(FormShadow::image) == MORVEL_FORM_IMAGE_BYTES);

// One form object that 68K code asked for: a 16-byte header, then the object's 68K image (whose
// address 68K code is given); gadgets keep a copy of their 68K handler after their image.
struct ObjectShadow {
    ObjectShadow* prev;
    ObjectShadow* next;
    uint16_t id;
    uint16_t kind;
    void* native;
    uint8_t image[4];  // the image runs on to the end of the allocation
};
constexpr uint16_t kObjectGadget = 12;
constexpr uint32_t kGadgetImageData = MORVEL_GADGET_IMAGE_DATA,
                   kGadgetImageHandler = MORVEL_GADGET_IMAGE_HANDLER,
                   kGadgetImageBytes = MORVEL_GADGET_IMAGE_BYTES;

// The object shadow of (form, index), made on demand; null for an index beyond the form's objects
// or without memory.
ObjectShadow* ShadowTableAlloc(EmulState* s, FormShadow* form, uint16_t index);

// After a UI call added an object to the form: the object array grows to the form's count and the
// new (last) object gets its shadow; answers its image, 0 when it cannot be held.
uint32_t FormShadowGrowObjects(EmulState* s, FormShadow* form);

// After the UI library moved or renumbered objects: every object shadow takes its native object at
// its index again, and the text pointers of controls, labels and titles are written again.
void FormShadowRefreshObjects(EmulState* s, FormShadow* form);

// After the UI library removed the object at `index`: its shadow goes and the later ones move down.
void FormShadowRemoveObject(EmulState* s, FormShadow* form, uint16_t index);

// The native object of a 68K form-object pointer, searched in every form shadow of the context and
// its parents; 0, after the fatal report "Form object not found", when none holds it.
void* ObjectNativeOf(EmulState* s, uint32_t image);
// The same for a scroll bar: an object of another kind is reported as none.
void* ScrollBarNativeOf(EmulState* s, uint32_t image);

// The UI library's checker of a custom-response alert's entry, running the alert's 68K checker
// (true, the entry accepted, when there is none).
uint8_t ResponseCallbackTrampoline(int16_t button, const char* text);

// The UI library's handler for gadgets with a 68K handler.
uint8_t GadgetHandlerTrampoline(void* gadget, uint16_t command, void* parameter);

FormShadow* FormShadowBuild(EmulState* s, void* native, uint16_t formID);
void FormShadowFree(EmulState* s, FormShadow* shadow);
void FormShadowFreeAll(EmulState* s);
void FormShadowForget(EmulState* s, void* native);
FormShadow* FormShadowFindNative(EmulState* s, const void* native);
FormShadow* FormShadowFind68K(EmulState* s, uint32_t image);
// The same through the parent contexts; `owner` gets the context that holds the shadow.
FormShadow* FormShadowFindNativeInChain(EmulState* s, const void* native, EmulState** owner);
FormShadow* FormShadowFind68KInChain(EmulState* s, uint32_t image, EmulState** owner);
// The native form of a 68K form pointer (0 when no shadow holds it).
void* FormNativeOf(EmulState* s, uint32_t image);

// AccessorDispatch selectors on form objects: 2 (an object's usable bit), 16 / 17 (get / set a
// label's font by ID) and 23 (whether a table column is masked); false for other selectors.
bool FormObjectAccessorSelector(EmulState* s, uint16_t selector);

// The UI library's handler for forms with a 68K event handler.
uint8_t FormEventTrampoline(vantor::SysEventType* event);

void FormGlueInstall(TrapHandler* table);

}  // namespace morvel
