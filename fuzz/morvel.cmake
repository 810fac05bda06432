# Fuzz targets of Morvel: resource database files (what the application packer writes and the
# tests read) and the 'data' 0 resource of 68K applications, unpacked into their globals. The
# parsers are compiled into the targets, so that libFuzzer builds instrument them.
vantor_add_fuzz(morvel_resource_db ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/resource_db.cpp
                ${CMAKE_SOURCE_DIR}/common/ResourceDb.cpp
                INCLUDES ${CMAKE_SOURCE_DIR} LIBS common_os32)
vantor_add_fuzz(morvel_app_globals ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/app_globals.cpp
                ${CMAKE_SOURCE_DIR}/morvel/launch/AppGlobals.cpp INCLUDES ${CMAKE_SOURCE_DIR} LIBS common_os32)
# The arguments of formatted print from 68K callers, against the stand-in OS's character search.
vantor_add_fuzz(morvel_format_args ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/format_args.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
# Text-service codes read from 68K strings.
vantor_add_fuzz(morvel_tsm_code ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/tsm_code.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
# Debugger packets that the nub serves while a context is stopped.
vantor_add_fuzz(morvel_nub_commands ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/nub_commands.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
# Plain fonts that 68K applications define, translated to native copies.
vantor_add_fuzz(morvel_font ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/font.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
# 68K UI resources (forms, alerts, menu bars, bitmaps, fonts, integers) translated to native layouts.
vantor_add_fuzz(morvel_resource_translate ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/resource_translate.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
# Raw 68K bitmaps that applications pass to the bitmap traps, read in place and translated.
vantor_add_fuzz(morvel_raw_bitmap ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/morvel/raw_bitmap.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS morvel_core standin_os)
