# Kez's same-depth copy and solid fill against memcpy and memset of the same bytes.
vantor_add_bench(kez_draw_bench ARCH os32 SOURCES kez/DrawBench.cpp $<TARGET_OBJECTS:kez_core_os32>
                 $<TARGET_OBJECTS:module_glue_os32>
                 LIBS module_os32 common_os32 vantor::gtk2_os32 vantor::alsa_os32 Threads::Threads ${CMAKE_DL_LIBS})
if(TARGET kez_draw_bench)
    target_include_directories(kez_draw_bench PRIVATE ${CMAKE_SOURCE_DIR})
endif()
