# The NAND and MMC controllers driven by guest register writes and by a restored controller chunk.
vantor_add_fuzz(tamsk_nand ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-nand/nand.cpp ${TAMSK_FAKE_CORE}
                LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-nand/corpus/tamsk_nand)
