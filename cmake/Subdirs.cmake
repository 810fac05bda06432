include_guard(GLOBAL)
# vantor_add_subdirs(): adds every direct subfolder of the current folder that has a CMakeLists.txt,
# so that developers working on different subfolders never edit the same list.
function(vantor_add_subdirs)
    file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(d ${entries})
        if(IS_DIRECTORY ${d} AND EXISTS ${d}/CMakeLists.txt)
            add_subdirectory(${d})
        endif()
    endforeach()
endfunction()
