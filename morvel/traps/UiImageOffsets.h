/* Offsets of the fields that the glue reads and writes in the 68K images of forms, fields, tables
   and gadgets, as the OS's 68K records lay them out. Plain C, so that a file compiled by the 68K
   compiler checks them against its own layout of those records (morvel/tests/capp/UiLayouts.c). */
#ifndef MORVEL_UI_IMAGE_OFFSETS_H
#define MORVEL_UI_IMAGE_OFFSETS_H

#define MORVEL_FORM_IMAGE_FORM_ID 40
#define MORVEL_FORM_IMAGE_HANDLER 50
#define MORVEL_FORM_IMAGE_FOCUS 54
#define MORVEL_FORM_IMAGE_DEFAULT_BUTTON 56
#define MORVEL_FORM_IMAGE_HELP 58
#define MORVEL_FORM_IMAGE_MENU 60
#define MORVEL_FORM_IMAGE_COUNT 62
#define MORVEL_FORM_IMAGE_BYTES 68

#define MORVEL_FIELD_IMAGE_BOUNDS 2
#define MORVEL_FIELD_IMAGE_ATTRIBUTES 10
#define MORVEL_FIELD_IMAGE_TEXT 12
#define MORVEL_FIELD_IMAGE_TEXT_LENGTH 24
#define MORVEL_FIELD_IMAGE_BYTES 40

#define MORVEL_TABLE_IMAGE_BOUNDS 2
#define MORVEL_TABLE_IMAGE_COLUMNS 12
#define MORVEL_TABLE_IMAGE_ROWS 14
#define MORVEL_TABLE_IMAGE_TOP_ROW 20

#define MORVEL_GADGET_IMAGE_DATA 12
#define MORVEL_GADGET_IMAGE_HANDLER 16
#define MORVEL_GADGET_IMAGE_BYTES 20

#define MORVEL_EVENT_RECORD_BYTES 24

#endif
