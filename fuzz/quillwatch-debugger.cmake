# The debugger engine: what a device sends unasked on sockets 0 and 1, taken by the idle step.
vantor_add_fuzz(quillwatch_debugger ARCH host
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger/IdleFuzz.cpp
                        ${CMAKE_SOURCE_DIR}/quillwatch/link/tests/support/DevSim.cpp
                LIBS quillwatch_engine DEFINES VANTOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-debugger/corpus)
