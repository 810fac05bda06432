# The debugger's command language: typed lines through the scanner, parser and evaluator.
vantor_add_fuzz(quillwatch_lang ARCH host SOURCES ${CMAKE_CURRENT_LIST_DIR}/quillwatch-lang/LangFuzz.cpp
                LIBS quillwatch_engine CORPUS ${CMAKE_CURRENT_LIST_DIR}/quillwatch-lang/corpus)
