# The debugger against Morvel's debugger nub: Quillwatch's engine attaches over TCP to a 68K
# application that morvel-run runs, stops at its TRAP #0, is inspected and written, stops at a
# breakpoint, single-steps and finishes.
if(TARGET morvel-run AND TARGET quillwatch_engine)
    vantor_add_test(morvel_nub_debugger_tests ARCH host LABEL morvel.nub
                    SOURCES morvel-nub/NubDebuggerTest.cpp
                    LIBS quillwatch_engine
                    DEFINES MORVEL_RUN="${VANTOR_BIN_DIR}/morvel-run"
                            MORVEL_DEBUG_APP="${VANTOR_TEST_DIR}/morvel-debugapp")
    add_dependencies(morvel_nub_debugger_tests morvel-run morvel_testapp)
endif()
