/* The demo's resource and object IDs, shared by its C code and its resources. */
#define MainForm 1000
#define TextLabel 1001
#define TextField 1002
#define FetchButton 1003
#define SaveButton 1004
#define FolderList 1005
#define ReplyField 1006
#define LogoBitmap 1007
#define FolderLabel 1008
#define LogoBitmapResource 1100
