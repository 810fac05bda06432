# The stand-in OS's database files on volumes, read through a file-system library of byte strings.
vantor_add_fuzz(standin_volume_databases ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/standin/VolumeDatabasesFuzz.cpp
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS standin_os module_os32 common_os32 vantor::gtk2_os32 vantor::alsa_os32 Threads::Threads
                     ${CMAKE_DL_LIBS}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/standin/corpus/volume_databases)
# The stand-in UI library's scroll bars, given values and the pen by 68K callers.
vantor_add_fuzz(standin_scroll_bar ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/standin/ScrollBarFuzz.cpp
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS standin_os module_os32 common_os32 Threads::Threads ${CMAKE_DL_LIBS})
