# kez-host's settings: the settings file and the command line it turns into Kez's configuration.
vantor_add_fuzz(kez_host_settings ARCH os32
                SOURCES ${CMAKE_CURRENT_LIST_DIR}/kez/HostSettingsFuzz.cpp
                        ${CMAKE_SOURCE_DIR}/standin/os/host/HostSettings.cpp
                INCLUDES ${CMAKE_SOURCE_DIR} LIBS common_os32
                CORPUS ${CMAKE_CURRENT_LIST_DIR}/kez/corpus/host_settings)
