# The LCD controller driven by guest-chosen registers, descriptors and palettes, and restored from
# session chunks.
vantor_add_fuzz(tamsk_lcd ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-lcd/lcd.cpp ${TAMSK_FAKE_CORE}
                LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-lcd/corpus/tamsk_lcd)
