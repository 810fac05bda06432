# The debugger's serial link over the emulator's UART bridge: Quillwatch's link manager sends
# packets through its TCP transport to the emulated board, whose echo ROM sends them back.
if(TARGET tamsk AND TARGET quillwatch_link_testsupport)
    vantor_add_test(tamsk_debugger_link_tests ARCH host LABEL tamsk.uart
                    SOURCES tamsk-uart/DebuggerLinkTest.cpp
                    LIBS quillwatch_link_testsupport
                    DEFINES TAMSK_TEST_ROMS="${VANTOR_TEST_DIR}/tamsk-roms")
    add_dependencies(tamsk_debugger_link_tests tamsk tamsk_test_roms)
endif()
