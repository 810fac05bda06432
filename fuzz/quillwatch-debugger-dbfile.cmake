# The shell's database files (.vrx and .wyx): any bytes through the reader that import uses.
vantor_add_fuzz(quillwatch_debugger_dbfile ARCH host
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger-dbfile/DbFileFuzz.cpp
                LIBS quillwatch_engine CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger-dbfile/corpus)
