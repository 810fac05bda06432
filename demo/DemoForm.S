| The demo's main form as its 68K 'tFRM' resource: the 68-byte form header, the object list (a
| kind byte, a reserved byte and the record's offset from the resource's start per object) and the
| object records. Assembled and copied out as raw bytes, so every offset is from `form`.
#include "DemoIds.h"

        .macro  OBJECT kind, record
        .byte   \kind, 0
        .long   \record - form
        .endm
        .macro  RECT x, y, w, h
        .short  \x, \y, \w, \h
        .endm

        .text
form:   .short  160, 160                | display width and height
        .long   0                       | display address
        .short  0x1800                  | window flags: focusable, enabled
        RECT    0, 0, 160, 160          | window bounds
        RECT    0, 0, 160, 160          | clipping bounds
        .long   0                       | bitmap
        .short  0                       | frame type: none
        .long   0, 0                    | draw state, next window
        .short  MainForm                | form ID (offset 40)
        .short  0x8000, 0               | attributes: usable
        .long   0, 0                    | bitmap association, handler
        .short  0                       | focus
        .short  FetchButton             | default button
        .short  0, 0                    | help ID, menu ID
        .short  (objects_end - objects) / 6
        .long   0                       | objects (set at run time)
objects:
        OBJECT  9, title
        OBJECT  8, textLabel
        OBJECT  0, textField
        OBJECT  4, logo
        OBJECT  1, fetchButton
        OBJECT  0, replyField
        OBJECT  1, saveButton
        OBJECT  8, folderLabel
        OBJECT  2, folderList
objects_end:

title:  RECT    0, 0, 160, 15
        .long   0
        .asciz  "Vantor Demo"
        .balign 2

textLabel:
        .short  TextLabel
        .short  2, 20                   | position
        .short  0x8000                  | usable
        .byte   1, 0                    | bold font
        .long   0
        .asciz  "Text:"
        .balign 2

| A field: ID, bounds, attributes, then the run-time state (zero), the maximum number of
| characters at 28, the font and the number of visible lines at 38.
        .macro  FIELD id, x, y, w, h, attributes, maxChars
        .short  \id
        RECT    \x, \y, \w, \h
        .short  \attributes
        .long   0, 0                    | text, text handle
        .long   0                       | lines
        .short  0, 0                    | text length, block size
        .short  \maxChars
        .short  0, 0, 0, 0              | selection, insertion point
        .byte   0, 1                    | standard font, one visible line
        .endm

| usable, editable, single line, grey underline
textField:
        FIELD   TextField, 32, 20, 88, 12, 0xB040, 40
| usable, single line
replyField:
        FIELD   ReplyField, 2, 56, 156, 12, 0x9000, 95

logo:   .short  0x8000                  | usable
        .short  126, 18                 | position
        .short  LogoBitmapResource

| A button: ID, bounds, label pointer, attributes (usable, enabled, left anchor, standard frame),
| style, font and group, then the label.
        .macro  BUTTON id, x, y, w, h, label
        .short  \id
        RECT    \x, \y, \w, \h
        .long   0
        .short  0xC900
        .byte   0, 0, 0, 0
        .asciz  "\label"
        .balign 2
        .endm

fetchButton:
        BUTTON  FetchButton, 2, 40, 40, 12, "Fetch"
saveButton:
        BUTTON  SaveButton, 2, 74, 40, 12, "Save"

folderLabel:
        .short  FolderLabel
        .short  48, 75
        .short  0x8000
        .byte   1, 0
        .long   0
        .asciz  "Folder:"
        .balign 2

| The list starts empty: the application sets its choices.
folderList:
        .short  FolderList
        RECT    2, 90, 156, 66
        .short  0xC000                  | usable, enabled
        .long   0                       | item texts
        .short  0                       | items
        .short  -1, 0                   | no selection, top item
        .byte   0, 0                    | font
        .long   0, 0                    | popup window, draw callback
