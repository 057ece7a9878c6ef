# Adds every direct subfolder that has a CMakeLists.txt, so that each
# subsystem's tests, benchmarks or tools can be added without editing a
# shared list.
function(korivan_add_subfolders)
  file(GLOB _children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _children)
  foreach(_d ${_children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_d} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_d}/CMakeLists.txt
       AND NOT _d IN_LIST ARGN)
      add_subdirectory(${_d})
    endif()
  endforeach()
endfunction()
