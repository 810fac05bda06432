// The stand-in UI library's text fields: the text a field shows (its own, a text pointer or a
// handle the application handed it), editing by keys with the insertion point, the field slots,
// and drawing: the text on its lines, the underline, and the insertion point while it has the focus.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/module/UiSlots.h"
#include "standin/os/SlotRegistration.h"
#include "standin/os/StandinOs.h"
#include "standin/os/ui/UiForm.h"

namespace vantor::os::ui {
namespace {

namespace slot = uislot;

constexpr uint16_t kBackspace = 0x08, kLeftArrow = 0x1C, kRightArrow = 0x1D, kLinefeed = 0x0A;

// The application's handle, locked while its text is read or written.
struct Locked {
    void* handle;
    char* p;
    explicit Locked(void* h)
        : handle(h), p(h ? static_cast<char*>(OsCall<void*(void*)>(sysslot::MemHandleLock, h)) : nullptr) {}
    ~Locked() {
        if (p) OsCall<uint16_t(void*)>(sysslot::MemHandleUnlock, handle);
    }
    uint32_t Size() const { return handle ? OsCall<uint32_t(void*)>(sysslot::MemHandleSize, handle) : 0; }
};

// The text the field shows.
std::string TextOf(const Field* f) {
    if (f->textHandle) {
        Locked l(f->textHandle);
        if (!l.p) return {};
        const uint32_t size = l.Size();
        return std::string(l.p, strnlen(l.p, size));
    }
    if (f->externalText) return f->externalText;
    return f->text;
}

// Stores an edited text where the field's text lives: its handle grows to hold it; a text pointer
// of the application's is not written (it is the application's to change), the field takes a copy.
void StoreText(Field* f, const std::string& text) {
    if (f->textHandle) {
        const uint32_t need = static_cast<uint32_t>(text.size() + 1);
        if (Locked(f->textHandle).Size() < need &&
            OsCall<uint16_t(void*, uint32_t)>(sysslot::MemHandleResize, f->textHandle, need) != 0)
            return;
        Locked l(f->textHandle);
        if (l.p) std::memcpy(l.p, text.c_str(), need);
        return;
    }
    f->externalText = nullptr;
    f->text = text;
}

bool FieldIsDrawn(const Field* f) {
    return f->form && f->form->drawn;
}
bool HasFocus(const Field* f) {
    if (!f->form || f->form->focus >= f->form->objects.size()) return false;
    return f->form->objects[f->form->focus].native == f;
}

// Only the fields of open forms are fields: any other pointer reads as none.
Field* Checked(Field* f) {
    return IsField(f) ? f : nullptr;
}

void Redraw(Field* f) {
    if (FieldIsDrawn(f)) FieldDraw(f);
}

// The lines the field shows fully.
uint16_t VisibleLines(const Field* f) {
    if (f->attributes & kFieldSingleLine) return 1;
    return static_cast<uint16_t>(std::max(1, f->bounds.h / kLineHeight));
}

// Where each line of the field's text starts: a line holds as many characters as the field is wide,
// or up to and with a line end. An empty text, and a line end at the end, start one empty line.
std::vector<size_t> LineStarts(const Field* f, const std::string& t) {
    const size_t perLine = static_cast<size_t>(std::max(1, f->bounds.w / kCharWidth));
    std::vector<size_t> starts{0};
    if (f->attributes & kFieldSingleLine) return starts;
    for (size_t at = 0; at < t.size() && starts.size() < 0xFFFF;) {
        size_t n = std::min(perLine, t.size() - at);
        if (const void* nl = std::memchr(t.data() + at, '\n', n))
            n = static_cast<size_t>(static_cast<const char*>(nl) - (t.data() + at)) + 1;
        at += n;
        if (at < t.size() || t[at - 1] == '\n') starts.push_back(at);
    }
    return starts;
}

// The highest first line that still fills the field.
uint16_t MaxTopLine(const Field* f, size_t lines) {
    return static_cast<uint16_t>(lines > VisibleLines(f) ? lines - VisibleLines(f) : 0);
}

// Keeps the scroll position within the text (after an edit or a change of bounds).
void ClampTopLine(Field* f) {
    f->topLine = std::min(f->topLine, MaxTopLine(f, LineStarts(f, TextOf(f)).size()));
}

// Remembers the text before an edit, for FldUndo.
void KeepForUndo(Field* f, const std::string& before) {
    f->undoText = before;
    f->canUndo = true;
}

// ---- slots ----

void StandinFldDrawField(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (f) FieldDraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldDrawField, StandinFldDrawField)

void StandinFldEraseField(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (f) FillRect(f->bounds, kWhite);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldEraseField, StandinFldEraseField)

uint16_t StandinFldGetAttributes(Field* unchecked, uint16_t* attributes) {
    Field* f = Checked(unchecked);
    if (f && attributes) *attributes = f->attributes;
    return 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetAttributes, StandinFldGetAttributes)

void StandinFldSetAttributes(Field* unchecked, const uint16_t* attributes) {
    Field* f = Checked(unchecked);
    if (f && attributes) f->attributes = *attributes;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetAttributes, StandinFldSetAttributes)

void StandinFldGetBounds(Field* unchecked, Rect* r) {
    Field* f = Checked(unchecked);
    if (f && r) *r = f->bounds;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetBounds, StandinFldGetBounds)

void StandinFldSetBounds(Field* unchecked, const Rect* r) {
    Field* f = Checked(unchecked);
    if (f && r) f->bounds = *r;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetBounds, StandinFldSetBounds)

uint8_t StandinFldGetFont(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? f->font : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetFont, StandinFldGetFont)

void StandinFldSetFont(Field* unchecked, uint8_t font) {
    Field* f = Checked(unchecked);
    if (f) f->font = font;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetFont, StandinFldSetFont)

uint16_t StandinFldGetMaxChars(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? f->maxChars : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetMaxChars, StandinFldGetMaxChars)

void StandinFldSetMaxChars(Field* unchecked, uint16_t max) {
    Field* f = Checked(unchecked);
    if (f) f->maxChars = max;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetMaxChars, StandinFldSetMaxChars)

// A field without text answers null, as the application expects of an empty field.
const char* StandinFldGetTextPtr(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return nullptr;
    if (f->textHandle) return Locked(f->textHandle).p;  // a handle's chunk does not move here
    if (f->externalText) return f->externalText;
    return f->text.empty() ? nullptr : f->text.c_str();
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetTextPtr, StandinFldGetTextPtr)

void* StandinFldGetTextHandle(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? f->textHandle : nullptr;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetTextHandle, StandinFldGetTextHandle)

uint16_t StandinFldGetTextLength(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? static_cast<uint16_t>(TextOf(f).size()) : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetTextLength, StandinFldGetTextLength)

void StandinFldSetTextPtr(Field* unchecked, char* text) {
    Field* f = Checked(unchecked);
    if (!f) return;
    f->textHandle = nullptr;
    f->externalText = text;
    f->insertion = f->topLine = 0;
    f->canUndo = false;
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetTextPtr, StandinFldSetTextPtr)

void StandinFldSetTextHandle(Field* unchecked, void* handle) {
    Field* f = Checked(unchecked);
    if (!f) return;
    f->externalText = nullptr;
    f->text.clear();
    f->textHandle = handle;
    f->insertion = static_cast<uint16_t>(TextOf(f).size());
    f->topLine = 0;
    f->canUndo = false;
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetTextHandle, StandinFldSetTextHandle)

void StandinFldSetText(Field* unchecked, void* handle, uint16_t, uint16_t) {
    Field* f = Checked(unchecked);
    StandinFldSetTextHandle(f, handle);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetText, StandinFldSetText)

// Inserts at the insertion point, within the field's maximum; false when nothing fits.
uint8_t StandinFldInsert(Field* unchecked, const char* text, uint16_t length) {
    Field* f = Checked(unchecked);
    if (!f || !text) return 0;
    std::string t = TextOf(f);
    const size_t room =
        f->maxChars ? (t.size() < f->maxChars ? f->maxChars - t.size() : 0) : 0xFFFF - t.size();
    const size_t n = std::min<size_t>({length, room, strnlen(text, length)});
    if (!n) return 0;
    const size_t at = std::min<size_t>(f->insertion, t.size());
    KeepForUndo(f, t);
    t.insert(at, text, n);
    StoreText(f, t);
    f->insertion = static_cast<uint16_t>(at + n);
    f->dirty = true;
    Redraw(f);
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldInsert, StandinFldInsert)

void StandinFldDelete(Field* unchecked, uint16_t start, uint16_t end) {
    Field* f = Checked(unchecked);
    if (!f) return;
    std::string t = TextOf(f);
    start = static_cast<uint16_t>(std::min<size_t>(start, t.size()));
    end = static_cast<uint16_t>(std::min<size_t>(end, t.size()));
    if (end <= start) return;
    KeepForUndo(f, t);
    t.erase(start, end - start);
    StoreText(f, t);
    f->insertion = start;
    f->dirty = true;
    ClampTopLine(f);
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldDelete, StandinFldDelete)

uint8_t StandinFldDirty(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f && f->dirty;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldDirty, StandinFldDirty)

void StandinFldSetDirty(Field* unchecked, uint8_t dirty) {
    Field* f = Checked(unchecked);
    if (f) f->dirty = dirty;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetDirty, StandinFldSetDirty)

uint16_t StandinFldGetInsPtPosition(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? f->insertion : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetInsPtPosition, StandinFldGetInsPtPosition)

void StandinFldSetInsPtPosition(Field* unchecked, uint16_t position) {
    Field* f = Checked(unchecked);
    if (!f) return;
    f->insertion = static_cast<uint16_t>(std::min<size_t>(position, TextOf(f).size()));
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetInsPtPosition, StandinFldSetInsPtPosition)
void StandinFldSetInsertionPoint(Field* unchecked, uint16_t position) {
    Field* f = Checked(unchecked);
    StandinFldSetInsPtPosition(f, position);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetInsertionPoint, StandinFldSetInsertionPoint)

void StandinFldGetSelection(Field* unchecked, uint16_t* start, uint16_t* end) {
    Field* f = Checked(unchecked);
    if (start) *start = f ? f->selStart : 0;
    if (end) *end = f ? f->selEnd : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetSelection, StandinFldGetSelection)

void StandinFldSetSelection(Field* unchecked, uint16_t start, uint16_t end) {
    Field* f = Checked(unchecked);
    if (!f) return;
    const size_t size = TextOf(f).size();
    f->selStart = static_cast<uint16_t>(std::min<size_t>(start, size));
    f->selEnd = static_cast<uint16_t>(std::min<size_t>(std::max(start, end), size));
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetSelection, StandinFldSetSelection)

void StandinFldGrabFocus(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !f->form) return;
    for (size_t i = 0; i < f->form->objects.size(); ++i)
        if (f->form->objects[i].native == f) f->form->focus = static_cast<uint16_t>(i);
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGrabFocus, StandinFldGrabFocus)

void StandinFldReleaseFocus(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !HasFocus(f)) return;
    f->form->focus = 0xFFFF;
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldReleaseFocus, StandinFldReleaseFocus)

void StandinFldSetUsable(Field* unchecked, uint8_t usable) {
    Field* f = Checked(unchecked);
    if (!f) return;
    f->attributes =
        static_cast<uint16_t>(usable ? f->attributes | kFieldUsable : f->attributes & ~kFieldUsable);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetUsable, StandinFldSetUsable)

uint8_t StandinFldHandleEvent(Field* unchecked, SysEventType* event) {
    Field* f = Checked(unchecked);
    if (!f || !event || event->eType != kKeyDown) return 0;
    uint16_t character;
    std::memcpy(&character, event->data, 2);
    return FieldKey(f, character);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldHandleEvent, StandinFldHandleEvent)

uint16_t StandinFldGetVisibleLines(Field* unchecked) {
    Field* f = Checked(unchecked);
    return f ? static_cast<uint16_t>(std::max<int>(1, f->bounds.h / kLineHeight)) : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetVisibleLines, StandinFldGetVisibleLines)

// ---- scrolling, sizes, undo ----

// The field's own text shrinks to its length; a handle stays as the application sized it.
void StandinFldCompactText(Field* unchecked) {
    if (Field* f = Checked(unchecked)) f->text.shrink_to_fit();
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldCompactText, StandinFldCompactText)

// The field's own text and undo record go; a text pointer or handle the application handed it
// stays the application's (it frees them itself), and the field still shows it.
void StandinFldFreeMemory(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return;
    std::string().swap(f->text);
    std::string().swap(f->undoText);
    f->canUndo = false;
    if (!f->textHandle && !f->externalText) f->insertion = f->selStart = f->selEnd = f->topLine = 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldFreeMemory, StandinFldFreeMemory)

// The lines of the field left empty below its text at the current scroll position.
uint16_t StandinFldGetNumberOfBlankLines(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return 0;
    const size_t shown = LineStarts(f, TextOf(f)).size() - std::min<size_t>(f->topLine, 0xFFFF);
    return static_cast<uint16_t>(VisibleLines(f) > shown ? VisibleLines(f) - shown : 0);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetNumberOfBlankLines, StandinFldGetNumberOfBlankLines)

// The offset of the first character shown.
uint16_t StandinFldGetScrollPosition(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return 0;
    const std::vector<size_t> starts = LineStarts(f, TextOf(f));
    return static_cast<uint16_t>(starts[std::min<size_t>(f->topLine, starts.size() - 1)]);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetScrollPosition, StandinFldGetScrollPosition)

// Scrolls so the line holding `position` is the first shown, as far as the text fills the field.
void StandinFldSetScrollPosition(Field* unchecked, uint16_t position) {
    Field* f = Checked(unchecked);
    if (!f) return;
    const std::vector<size_t> starts = LineStarts(f, TextOf(f));
    const size_t line =
        static_cast<size_t>(std::upper_bound(starts.begin(), starts.end(), position) - starts.begin()) - 1;
    f->topLine = std::min<uint16_t>(static_cast<uint16_t>(line), MaxTopLine(f, starts.size()));
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetScrollPosition, StandinFldSetScrollPosition)

// In lines: the first shown, the text's and the field's.
void StandinFldGetScrollValues(Field* unchecked, uint16_t* scrollPosition, uint16_t* textHeight,
                               uint16_t* fieldHeight) {
    Field* f = Checked(unchecked);
    if (scrollPosition) *scrollPosition = f ? f->topLine : 0;
    if (textHeight) *textHeight = f ? static_cast<uint16_t>(LineStarts(f, TextOf(f)).size()) : 0;
    if (fieldHeight) *fieldHeight = f ? VisibleLines(f) : 0;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetScrollValues, StandinFldGetScrollValues)

constexpr uint8_t kScrollUp = 0, kScrollDown = 1;

// Whether the field can scroll that way: text above the first line shown, or below the last.
uint8_t StandinFldScrollable(Field* unchecked, uint8_t direction) {
    Field* f = Checked(unchecked);
    if (!f) return 0;
    if (direction == kScrollUp) return f->topLine > 0;
    return direction == kScrollDown && f->topLine < MaxTopLine(f, LineStarts(f, TextOf(f)).size());
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldScrollable, StandinFldScrollable)

// Scrolls by `lines`, no further than the text goes.
void StandinFldScrollField(Field* unchecked, uint16_t lines, uint8_t direction) {
    Field* f = Checked(unchecked);
    if (!f || (direction != kScrollUp && direction != kScrollDown)) return;
    const uint16_t top = MaxTopLine(f, LineStarts(f, TextOf(f)).size());
    f->topLine = direction == kScrollUp ? static_cast<uint16_t>(f->topLine - std::min(lines, f->topLine))
                                        : static_cast<uint16_t>(std::min<uint32_t>(f->topLine + lines, top));
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldScrollField, StandinFldScrollField)

// A handle's size, else the size the application set.
uint16_t StandinFldGetTextAllocatedSize(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return 0;
    if (f->textHandle) return static_cast<uint16_t>(std::min<uint32_t>(Locked(f->textHandle).Size(), 0xFFFF));
    return f->allocatedSize;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetTextAllocatedSize, StandinFldGetTextAllocatedSize)

void StandinFldSetTextAllocatedSize(Field* unchecked, uint16_t size) {
    if (Field* f = Checked(unchecked)) f->allocatedSize = size;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetTextAllocatedSize, StandinFldSetTextAllocatedSize)

// The line breaks follow the field's text and bounds again; the scroll position stays within them.
void StandinFldRecalculateField(Field* unchecked, uint8_t redraw) {
    Field* f = Checked(unchecked);
    if (!f) return;
    ClampTopLine(f);
    if (redraw) Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldRecalculateField, StandinFldRecalculateField)

// The application hears that the field wants `lines` lines, with the insertion point at `position`.
void StandinFldSendHeightChangeNotification(Field* unchecked, uint16_t position, uint16_t lines) {
    Field* f = Checked(unchecked);
    if (!f) return;
    SysEventType e{};
    e.eType = kFldHeightChanged;
    const int16_t height = static_cast<int16_t>(std::min<int32_t>(lines * kLineHeight, 0x7FFF));
    std::memcpy(e.data, &f->id, 2);
    std::memcpy(e.data + 4, &f, 4);
    std::memcpy(e.data + 8, &height, 2);
    std::memcpy(e.data + 10, &position, 2);
    PostEvent(e);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSendHeightChangeNotification, StandinFldSendHeightChangeNotification)

// A field of dynamic size whose text needs more lines than it shows asks for them (up to its
// maximum of visible lines) and answers true; any other field answers false.
uint8_t StandinFldMakeFullyVisible(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !(f->attributes & kFieldDynamicSize)) return 0;
    size_t lines = LineStarts(f, TextOf(f)).size();
    if (f->maxVisibleLines) lines = std::min<size_t>(lines, f->maxVisibleLines);
    if (lines <= VisibleLines(f)) return 0;
    StandinFldSendHeightChangeNotification(f, f->insertion, static_cast<uint16_t>(lines));
    return 1;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldMakeFullyVisible, StandinFldMakeFullyVisible)

// The text goes back to what it was before the last insertion or deletion, once.
void StandinFldUndo(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !f->canUndo) return;
    f->canUndo = false;
    StoreText(f, f->undoText);
    f->insertion = static_cast<uint16_t>(std::min<size_t>(f->insertion, f->undoText.size()));
    f->selStart = f->selEnd = 0;
    f->dirty = true;
    ClampTopLine(f);
    Redraw(f);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldUndo, StandinFldUndo)

// ---- the clipboard, notifications and measuring ----

template <typename Sig, typename... A>
auto UiCall(uint16_t number, A... args) {
    return reinterpret_cast<Sig*>(LibraryTable(Library::Ui)[number])(args...);
}
constexpr uint16_t kClipboardAddItem = 38;
constexpr uint8_t kClipboardText = 0;

// The selected text goes to the clipboard; without a selection nothing does.
void StandinFldCopy(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || f->selEnd <= f->selStart) return;
    const std::string t = TextOf(f);
    if (f->selEnd > t.size()) return;
    UiCall<void(uint8_t, const void*, uint16_t)>(kClipboardAddItem, kClipboardText, t.data() + f->selStart,
                                                 static_cast<uint16_t>(f->selEnd - f->selStart));
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldCopy, StandinFldCopy)

// The selection is copied, then taken out of an editable field.
void StandinFldCut(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !f->Editable() || f->selEnd <= f->selStart) return;
    StandinFldCopy(f);
    StandinFldDelete(f, f->selStart, f->selEnd);
    f->selStart = f->selEnd = f->insertion;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldCut, StandinFldCut)

// The clipboard's text replaces the selection of an editable field, within its maximum.
void StandinFldPaste(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f || !f->Editable()) return;
    uint16_t length = 0;
    void* item = UiCall<void*(uint8_t, uint16_t*)>(slot::ClipboardGetItem, kClipboardText, &length);
    std::string text;
    if (Locked l(item); l.p) text.assign(l.p, std::min<size_t>(length, l.Size()));
    if (text.empty()) return;
    if (f->selEnd > f->selStart) StandinFldDelete(f, f->selStart, f->selEnd);
    f->selStart = f->selEnd = 0;
    StandinFldInsert(f, text.data(), static_cast<uint16_t>(text.size()));
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldPaste, StandinFldPaste)

// The application hears that the field changed.
void StandinFldSendChangeNotification(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return;
    SysEventType e{};
    e.eType = kFldChanged;
    std::memcpy(e.data, &f->id, 2);
    std::memcpy(e.data + 4, &f, 4);
    PostEvent(e);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSendChangeNotification, StandinFldSendChangeNotification)

void StandinFldSetMaxVisibleLines(Field* unchecked, uint8_t lines) {
    if (Field* f = Checked(unchecked)) f->maxVisibleLines = lines;
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldSetMaxVisibleLines, StandinFldSetMaxVisibleLines)

// How many characters of `text` start its first line `width` wide: up to a line end (taken with
// the line), else up to the last space that fits, else as many as fit (at least one).
uint16_t StandinFldWordWrap(const char* text, int16_t width) {
    if (!text || !*text) return 0;
    const size_t fit = static_cast<size_t>(std::max(1, width / kCharWidth));
    size_t n = 0;
    for (; text[n] && n < fit; ++n)
        if (text[n] == kLinefeed) return static_cast<uint16_t>(n + 1);
    if (!text[n] || text[n] == ' ' || text[n] == kLinefeed) return static_cast<uint16_t>(n + (text[n] ? 1 : 0));
    for (size_t space = n; space > 0; --space)
        if (text[space - 1] == ' ') return static_cast<uint16_t>(space);
    return static_cast<uint16_t>(n);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldWordWrap, StandinFldWordWrap)

// The lines `text` takes `width` wide (one for an empty text).
uint16_t StandinFldCalcFieldHeight(const char* text, int16_t width) {
    uint16_t lines = 0;
    for (const char* p = text; p && *p && lines < 0xFFFF; ++lines) p += StandinFldWordWrap(p, width);
    return std::max<uint16_t>(lines, 1);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldCalcFieldHeight, StandinFldCalcFieldHeight)

// The height of the field's text in UI units.
uint16_t StandinFldGetTextHeight(Field* unchecked) {
    Field* f = Checked(unchecked);
    if (!f) return 0;
    const std::string t = TextOf(f);
    return t.empty() ? 0 : static_cast<uint16_t>(StandinFldCalcFieldHeight(t.c_str(), f->bounds.w) * kLineHeight);
}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::FldGetTextHeight, StandinFldGetTextHeight)

// There is no address book here: a lookup finds nothing and leaves the field and its parameters as
// they are.
void StandinPhoneNumberLookup(Field*) {}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::PhoneNumberLookup, StandinPhoneNumberLookup)
void StandinPhoneNumberLookupCustom(Field*, void*, uint8_t) {}
VANTOR_OS_LIBRARY_SLOT(Ui, slot::PhoneNumberLookupCustom, StandinPhoneNumberLookupCustom)

}  // namespace

bool FieldKey(Field* f, uint16_t character) {
    if (!f || !f->Usable() || !f->Editable()) return false;
    const std::string t = TextOf(f);
    if (character == kBackspace) {
        if (f->insertion > 0 && f->insertion <= t.size()) StandinFldDelete(f, f->insertion - 1, f->insertion);
        return true;
    }
    if (character == kLeftArrow || character == kRightArrow) {
        if (character == kLeftArrow && f->insertion > 0) --f->insertion;
        if (character == kRightArrow && f->insertion < t.size()) ++f->insertion;
        Redraw(f);
        return true;
    }
    if (character == kLinefeed && (f->attributes & 0x0008)) return false;  // single line: not its key
    if (character > 0xFF || (character < 0x20 && character != kLinefeed)) return false;
    const char c = static_cast<char>(character);
    if (!StandinFldInsert(f, &c, 1)) return true;  // a full field takes the key and changes nothing
    SysEventType changed{};
    changed.eType = kFldChanged;
    std::memcpy(changed.data, &f->id, 2);
    std::memcpy(changed.data + 4, &f, 4);
    PostEvent(changed);
    return true;
}

// The text on as many lines as the field is high, broken at the field's width; an underline
// under each line and the insertion point where the field has the focus.
void FieldDraw(Field* f) {
    if (!f || !f->Usable()) return;
    FillRect(f->bounds, kWhite);
    const std::string t = TextOf(f);
    const int16_t perLine = static_cast<int16_t>(std::max(1, f->bounds.w / kCharWidth));
    const int lines = std::max(1, f->bounds.h / kLineHeight);
    const bool underlined = (f->attributes >> 8) & 0x3;
    const std::vector<size_t> starts = LineStarts(f, t);
    size_t at = starts[std::min<size_t>(f->topLine, starts.size() - 1)];  // from the first line shown
    int16_t caretX = f->bounds.x, caretY = f->bounds.y;
    for (int line = 0; line < lines; ++line) {
        const int16_t y = static_cast<int16_t>(f->bounds.y + line * kLineHeight);
        size_t n = std::min<size_t>(perLine, t.size() > at ? t.size() - at : 0);
        if (const void* nl = n ? std::memchr(t.data() + at, '\n', n) : nullptr)
            n = static_cast<const char*>(nl) - (t.data() + at) + 1;
        if (f->insertion >= at && f->insertion <= at + n) {
            caretX = static_cast<int16_t>(f->bounds.x + (f->insertion - at) * kCharWidth);
            caretY = y;
        }
        const size_t shown = n && t[at + n - 1] == '\n' ? n - 1 : n;
        DrawText(f->bounds.x, static_cast<int16_t>(y + 1), t.data() + at, shown, kBlack, kWhite);
        if (underlined) {
            const int16_t u = static_cast<int16_t>(y + kLineHeight - 1);
            DrawLine(f->bounds.x, u, static_cast<int16_t>(f->bounds.x + f->bounds.w - 1), u, kGrey);
        }
        at += n;
        if ((f->attributes & 0x0008) && line == 0) break;  // single line
    }
    if (HasFocus(f) && f->Editable())
        DrawLine(caretX, caretY, caretX, static_cast<int16_t>(caretY + kFontHeight), kBlack);
}

}  // namespace vantor::os::ui
