# The debugger's symbol files: any bytes as a file through the loader.
vantor_add_fuzz(quillwatch_debugger_symfile ARCH host
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger-symfile/SymFileFuzz.cpp
                LIBS quillwatch_engine CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger-symfile/corpus)
