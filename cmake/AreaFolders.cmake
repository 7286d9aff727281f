# velt_add_area_folders(): adds every sub-folder of the current source folder that has a
# CMakeLists.txt (tests/, bench/ and fuzz/ hold one folder per area), so that a new area needs
# no edit of its parent.
function(velt_add_area_folders)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
