# The 68K disassembler reads arbitrary device code.
vantor_add_fuzz(quillwatch_disasm ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-disasm/DisasmFuzz.cpp
                LIBS quillwatch_disasm CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-disasm/corpus)
