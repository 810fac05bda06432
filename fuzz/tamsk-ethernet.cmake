# The Ethernet controller driven by guest register accesses and captured frames, the bridge's
# frame filter, and the controller restored from a session chunk.
vantor_add_fuzz(tamsk_ethernet ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-ethernet/ethernet.cpp ${TAMSK_FAKE_CORE}
                LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-ethernet/corpus/tamsk_ethernet)
