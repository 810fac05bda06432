# Fuzz targets of Sockra: domain-name encoding, the host table of setting 8, configuration lists
# read from "Net Prefs", and the bit-field routines on caller buffers.
foreach(target domain_name host_table config_list bits)
    vantor_add_fuzz(sockra_${target} ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/sockra/${target}.cpp
                    $<TARGET_OBJECTS:module_glue_noentry_os32> LIBS sockra_core CORPUS ${CMAKE_SOURCE_DIR}/fuzz/sockra/corpus/${target})
endforeach()
# Login scripts run against fake callbacks and a fake line that replays the rest of the input.
vantor_add_fuzz(sockra_script ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/sockra/script.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> LIBS sockra_core standin_os
                CORPUS ${CMAKE_SOURCE_DIR}/fuzz/sockra/corpus/script)
# The 68K trap glue decoding a caller's arguments, with Morvel's environment as the 68K side.
vantor_add_fuzz(sockra_glue68k ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/sockra/glue68k.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> LIBS sockra_core morvel_core standin_os
                CORPUS ${CMAKE_SOURCE_DIR}/fuzz/sockra/corpus/glue68k)
