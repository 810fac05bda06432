// Controls as 68K code sees them: the 32-byte big-endian 68K control image of a control's object
// shadow, kept in step with the native control around the control traps; and the lookups of form
// objects by their 68K image that the list and control glue share.
#pragma once

#include <cstdint>

#include "morvel/cpu/EmulState.h"
#include "morvel/traps/FormGlue.h"

namespace morvel {

constexpr uint32_t kControlImageBytes = 32;

// The object shadow whose image is at `image`, searched in the form shadows of the context and its
// parents; `form` gets its form shadow. Null when none holds it.
ObjectShadow* ObjectShadowOf(EmulState* s, uint32_t image, FormShadow** form);
// The form shadow's object table follows a form that gained objects.
void FormShadowGrow(EmulState* s, FormShadow* form);

// The native control of the 68K control at argument `offset`: 0 for null; "Form object not found"
// reported and 0 when no shadow holds it.
void* ControlFromArg(EmulState* s, uint32_t offset, ObjectShadow** shadow);

// Hooks of the form glue: the image of a new control shadow, and the image's state handed to the
// native control before it is drawn.
void ControlImageFill(ObjectShadow* shadow);
void ControlImageSync(ObjectShadow* shadow);
// The label pointer and bounds of a control's image again from its native control.
void ControlImageRefresh(ObjectShadow* shadow);
// The same for the control with `id` in the form whose 68K image is `formImage`.
void ControlImageRefreshByID(EmulState* s, uint32_t formImage, uint16_t id);

// AccessorDispatch selectors 0, 6-10, 28 and 29 on a control (argument 0); false for another one.
bool ControlAccessorSelector(EmulState* s, uint16_t selector);

void ControlGlueInstall(TrapHandler* table);

}  // namespace morvel
