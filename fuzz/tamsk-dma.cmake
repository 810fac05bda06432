# The DMA controller driven by guest-chosen registers, descriptors and requests.
vantor_add_fuzz(tamsk_dma ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-dma/dma.cpp ${TAMSK_FAKE_CORE}
                LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-dma/corpus/tamsk_dma)
