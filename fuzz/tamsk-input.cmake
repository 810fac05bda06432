# The keypad, touch screen, AC97 codec, power manager and GPIO driven by guest register accesses,
# host input and session chunks.
vantor_add_fuzz(tamsk_input ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-input/input.cpp ${TAMSK_FAKE_CORE}
                LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-input/corpus/tamsk_input)
