# Warnings for our own targets; in the developers' build they are errors.
function(launcher_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
  if(LAUNCHER_DEV)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Adds every immediate subfolder of the current source folder that has a CMakeLists.txt,
# so that each part of the project keeps its tests, tools and benchmarks in a folder of its own.
macro(launcher_add_subfolders)
  file(GLOB _launcher_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _launcher_children)
  foreach(_child IN LISTS _launcher_children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_child}/CMakeLists.txt)
      add_subdirectory(${_child})
    endif()
  endforeach()
endmacro()
