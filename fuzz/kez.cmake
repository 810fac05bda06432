# Kez's objects and the stand-in OS, for the targets that run Kez's services against it.
set(kez_fuzz_objects $<TARGET_OBJECTS:kez_core_os32> $<TARGET_OBJECTS:module_glue_os32>)
set(kez_fuzz_libs standin_os module_os32 common_os32 vantor::gtk2_os32 vantor::alsa_os32 Threads::Threads
    ${CMAKE_DL_LIBS})
# kez-host's settings: the settings file and the command line it turns into Kez's configuration.
vantor_add_fuzz(kez_host_settings ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/HostSettingsFuzz.cpp
                        ${CMAKE_SOURCE_DIR}/standin/os/host/HostSettings.cpp
                INCLUDES ${CMAKE_SOURCE_DIR} LIBS common_os32
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/host_settings)
# Compressed bitmap rows: every decoder over hostile streams, and what it decodes re-encoded.
vantor_add_fuzz(kez_scan_line_codecs ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/ScanLineCodecsFuzz.cpp
                        ${CMAKE_SOURCE_DIR}/kez/src/ScanLineCodecs.cpp
                INCLUDES ${CMAKE_SOURCE_DIR}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/scan_line_codecs)
# Database files of the autoload directory and of remote imports, through the import's checks.
vantor_add_fuzz(kez_database_import ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/DatabaseImportFuzz.cpp
                        ${kez_fuzz_objects}
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS ${kez_fuzz_libs}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/database_import)
# Remote-access commands: one connection's byte stream served by a session.
vantor_add_fuzz(kez_remote_requests ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/RemoteRequestFuzz.cpp
                        ${kez_fuzz_objects}
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS ${kez_fuzz_libs}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/remote_requests)
# The drawing slots: bitmap copy, rectangles, lines, pixels and text over hostile bitmaps, modes,
# clips and fonts.
vantor_add_fuzz(kez_draw ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/DrawFuzz.cpp $<TARGET_OBJECTS:kez_core_os32>
                        $<TARGET_OBJECTS:module_glue_os32>
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS module_os32 common_os32 vantor::gtk2_os32 vantor::alsa_os32 Threads::Threads ${CMAKE_DL_LIBS}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/draw)
# Application icons: native bitmap families from a database turned into XPM images.
vantor_add_fuzz(kez_remote_icon ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/RemoteIconFuzz.cpp
                        ${kez_fuzz_objects}
                INCLUDES ${CMAKE_SOURCE_DIR}
                LIBS ${kez_fuzz_libs}
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/remote_icon)
