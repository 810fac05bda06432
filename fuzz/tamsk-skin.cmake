# Skin files and their PPM pictures, as a user may hand any file to the Load Skin dialog.
vantor_add_fuzz(tamsk_skin ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk-skin/skin.cpp
                LIBS tamsk_display CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk-skin/corpus/tamsk_skin)
