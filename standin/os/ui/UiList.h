// The stand-in UI library's lists: the native list record that the 68K glue reads in place, with
// the texts of a list built from a form resource; drawn through UiDraw, item by item or through the
// list's draw callback, and chosen from with the pen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/module/NativeUi.h"

namespace vantor::os::ui {

struct Form;

struct List : NativeList {
    std::vector<std::string> texts;  // the resource's items
    std::vector<char*> pointers;     // and the array that points at them
    Form* form = nullptr;
};

// A list from its native form-resource record (the 32-byte list record, its item pointers and
// texts); null when the record is shorter than it says.
List* ListFromRecord(const uint8_t* record, uint32_t size, Form* form);
void ListFree(List* list);
bool IsList(const NativeList* list);
void ListDraw(NativeList* list);
// A pen tap at (x, y) in UI coordinates: the item under it is chosen and a list-select event
// posted; false when the tap is not on the list's items.
bool ListPen(NativeList* list, int16_t x, int16_t y);
// The number of items the list shows at once.
int16_t ListVisibleItems(const NativeList* list);

}  // namespace vantor::os::ui
