// The stand-in UI library's forms: each form is built from its native form resource ('afrm', as
// the resource translation writes it) into a list of objects that the form slots answer about,
// draw through UiDraw and hand events to. One list of open forms and one active form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/module/SystemCalls.h"
#include "standin/os/ui/UiDraw.h"

namespace vantor::os::ui {

enum ObjectKind : uint8_t {
    kFieldObject = 0,
    kControlObject = 1,
    kListObject = 2,
    kTableObject = 3,
    kBitmapObject = 4,
    kLineObject = 5,
    kFrameObject = 6,
    kRectangleObject = 7,
    kLabelObject = 8,
    kTitleObject = 9,
    kPopupObject = 10,
    kIndicatorObject = 11,
    kGadgetObject = 12,
    kScrollBarObject = 13
};

// Event types the forms post and take.
constexpr uint16_t kPenDown = 1, kPenUp = 2, kKeyDown = 4, kCtlSelect = 9, kFrmLoad = 23, kFrmOpen = 24,
                   kFrmClose = 26, kFldChanged = 17;

struct Form;

struct Field {
    uint16_t id = 0;
    Rect bounds{};
    uint16_t attributes = 0;  // native bit order: bit 0 usable, bit 1 visible, bit 2 editable, ...
    uint16_t maxChars = 0;
    uint8_t font = 0;
    uint8_t maxVisibleLines = 0;
    std::string text;              // the text the field shows and edits
    char* externalText = nullptr;  // a text the application set with FldSetTextPtr
    void* textHandle = nullptr;    // a handle the application set with FldSetTextHandle
    uint16_t insertion = 0;
    uint16_t selStart = 0, selEnd = 0;
    bool dirty = false;
    Form* form = nullptr;
    bool Usable() const { return attributes & 0x0001; }
    bool Editable() const { return attributes & 0x0004; }
};
constexpr uint16_t kFieldUsable = 0x0001, kFieldEditable = 0x0004;

struct Control {
    uint16_t id = 0;
    Rect bounds{};
    uint16_t attributes = 0;  // native bit order: bit 0 usable, bit 1 enabled, bit 2 visible, bit 3 on
    uint8_t style = 0, font = 0, group = 0;
    std::string label;
    Form* form = nullptr;
};

struct Label {
    uint16_t id = 0;
    int16_t x = 0, y = 0;
    uint16_t attributes = 0;
    uint8_t font = 0;
    std::string text;
};

struct Title {
    Rect bounds{};
    std::string text;
};

// Any other kind: its native record as the resource holds it.
struct RawObject {
    uint16_t id = 0;
    Rect bounds{};
    std::vector<uint8_t> record;
    void* data = nullptr;     // a gadget's data
    void* handler = nullptr;  // a gadget's handler
};

struct FormObject {
    uint8_t kind = 0;
    void* native = nullptr;  // Field, Control, Label, Title or RawObject
};

using FormEventHandler = uint8_t (*)(SysEventType* event);

struct Form {
    uint16_t id = 0;
    Rect bounds{};
    uint16_t attributes = 0;
    uint16_t defaultButton = 0, helpID = 0, menuID = 0;
    std::vector<FormObject> objects;
    FormEventHandler handler = nullptr;
    uint16_t focus = 0xFFFF;
    bool drawn = false;
};

// The open form of that ID, the active form.
Form* FindForm(uint16_t id);
Form* ActiveForm();

// Whether the pointer is a field or a control of an open form.
bool IsField(const Field* field);
bool IsControl(const Control* control);

// The ID and bounds of an object; 0 and an empty rectangle for kinds without them.
uint16_t ObjectID(const FormObject& o);
Rect ObjectBounds(const FormObject& o);

// Drawing and events of the objects this library draws itself.
void FieldDraw(Field* field);
// A key for the field: true when it took it.
bool FieldKey(Field* field, uint16_t character);
void ControlDraw(Control* control);

// Queues an event for the application.
void PostEvent(const SysEventType& event);

}  // namespace vantor::os::ui
