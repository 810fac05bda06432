/* The event loop and entry point of the test applications built on one form from their resources.
   An application defines the form it opens, the handler of its forms, and the answer it gives
   once its handler sets appDone. */
#ifndef FORM_LOOP_H
#define FORM_LOOP_H

#include "VantorApp.h"

extern const UInt16 appFormID;
extern UInt32 appResult;
extern Boolean appDone;
Boolean AppFormHandler(EventType* event);

#endif
