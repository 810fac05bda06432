# The debugger program: its preferences file and command line.
vantor_add_fuzz(quillwatch_app ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-app/AppInputFuzz.cpp
                LIBS quillwatch_app CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-app/corpus)
