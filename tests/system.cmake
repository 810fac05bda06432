# The system as a user meets it: the main job with the demo application on an X display, driven by
# xdotool, and the debugger attached to the demo through the 68K debugger nub.
if(TARGET kez-host AND TARGET morvel AND TARGET quillwatch AND TARGET vantor_demo)
    vantor_add_test(system_demo_tests ARCH host LABEL system.demo TIMEOUT 600 SERIAL
                    SOURCES system/DemoTest.cpp
                    LIBS vantor::gtk2_host
                    DEFINES VANTOR_TEST_DIR="${VANTOR_TEST_DIR}")
    add_dependencies(system_demo_tests kez-host kez sockra brontel durnix morvel quillwatch vantor_demo)
endif()
