# Fuzz targets of Brontel: the tagged argument lists carried in command payloads.
vantor_add_fuzz(brontel_arg_list ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/brontel/arg_list.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS brontel_core standin_os)
# The frames of a desktop peer: the setup exchange and requests, from a stream that is the input.
vantor_add_fuzz(brontel_frames ARCH os32 SOURCES ${CMAKE_SOURCE_DIR}/fuzz/brontel/frames.cpp
                $<TARGET_OBJECTS:module_glue_noentry_os32> INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS brontel_core standin_os)
