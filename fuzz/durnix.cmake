# Fuzz targets of Durnix: device paths from the OS converted to host paths inside a volume.
vantor_add_fuzz(durnix_path_convert ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/durnix/path_convert.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS durnix_core standin_os)
# The library's operations on a small volume, driven by the input.
vantor_add_fuzz(durnix_operations ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/durnix/operations.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS durnix_core standin_os)
