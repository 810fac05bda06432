# Tamsk's parsers of outside input: the options file, the command line, ROM lists and session files.
# The board's fatal conditions are caught by the targets (they end the program otherwise).
foreach(target options_file command_line rom_list session)
    vantor_add_fuzz(tamsk_${target} ARCH host
                    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tamsk/${target}.cpp ${TAMSK_FAKE_CORE}
                    LIBS tamsk_devices CORPUS ${CMAKE_CURRENT_LIST_DIR}/tamsk/corpus/tamsk_${target})
endforeach()
