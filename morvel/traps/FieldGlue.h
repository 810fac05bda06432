// Text fields as 68K code sees them: the 40-byte 68K field image of a field's object shadow, the
// field traps that map such an image back to the UI library's field, and the usable bit kept in
// step between the two.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"
#include "morvel/traps/FormGlue.h"

namespace morvel {

constexpr uint32_t kFieldImageBounds = 2, kFieldImageAttributes = 10, kFieldImageText = 12,
                   kFieldImageTextLength = 24;

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

void FieldGlueInstall(TrapHandler* table);

}  // namespace morvel
