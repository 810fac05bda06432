# The 68K disassembler reads arbitrary device code. Its source is compiled into the target (not
# linked from the library) so that a libFuzzer build instruments it too.
vantor_add_fuzz(quillwatch_disasm ARCH host
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-disasm/DisasmFuzz.cpp
                        ${CMAKE_SOURCE_DIR}/quillwatch/engine/disasm/Disassembler.cpp
                INCLUDES ${CMAKE_SOURCE_DIR} CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-disasm/corpus)
