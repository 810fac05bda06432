// quillwatch: the remote 68K debugger program.
#include "quillwatch/app/App.h"

int main(int argc, char** argv) { return quillwatch::QuillwatchMain(argc, argv); }
