// Text fields as 68K code sees them: the 40-byte 68K field image of a field's object shadow, the
// field traps that map such an image back to the UI library's field, and the usable bit kept in
// step between the two.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"
#include "morvel/traps/FormGlue.h"

namespace morvel {

constexpr uint32_t kFieldImageBounds = MORVEL_FIELD_IMAGE_BOUNDS,
                   kFieldImageAttributes = MORVEL_FIELD_IMAGE_ATTRIBUTES,
                   kFieldImageText = MORVEL_FIELD_IMAGE_TEXT,
                   kFieldImageTextLength = MORVEL_FIELD_IMAGE_TEXT_LENGTH;

// Writes the image of a field's object shadow from its native field.
void FieldImageFill(ObjectShadow* shadow);
// Sets or clears the usable bit of a field image.
void FieldSetImageUsable(ObjectShadow* shadow, bool usable);
// Before the form is drawn: the image's usable bit goes to the native field.
void FieldImageSync(ObjectShadow* shadow);
// The native field of the 68K field pointer at argument `offset`: 0 for a null pointer; 0, after
// the fatal report "Form object (field) not found", for a pointer no shadow holds.
void* FieldFromArg(EmulState* s, uint32_t offset, ObjectShadow** shadow = nullptr);
// The 68K image of a native field in the form shadows of the context chain, or 0.
uint32_t FieldImageOf(EmulState* s, const void* native);

// The context's record that stands for the field a table is editing: it takes `native` and its
// image address is the 68K field pointer (0 without memory).
uint32_t FieldTableEditImage(EmulState* s, void* native);
// Frees the context's record (when its form shadows go).
void FieldTableEditFree(EmulState* s);

void FieldGlueInstall(TrapHandler* table);

}  // namespace morvel
