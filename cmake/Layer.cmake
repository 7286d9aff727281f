# velt_layer(NAME name SOURCES ... [PUBLIC_INCLUDE dirs] [PRIVATE_INCLUDE dirs] [DEPS targets])
# Makes one layer of the library:
#   <name>_objects  the compiled objects (linked into libveltmetadata.so),
#   <name>          a static, position-independent library of the same objects, for the
#                   layers above and for tests; it offers only the PUBLIC_INCLUDE folders,
#   <name>_internal <name> with its PRIVATE_INCLUDE folders too, for the tests and fuzz
#                   targets of its internals.
function(velt_layer)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;PUBLIC_INCLUDE;PRIVATE_INCLUDE;DEPS" ${ARGN})
  add_library(${ARG_NAME}_objects OBJECT ${ARG_SOURCES})
  target_include_directories(${ARG_NAME}_objects PUBLIC ${ARG_PUBLIC_INCLUDE}
                             PRIVATE ${ARG_PRIVATE_INCLUDE})
  target_link_libraries(${ARG_NAME}_objects PUBLIC ${ARG_DEPS})
  velt_warnings(${ARG_NAME}_objects)
  add_library(${ARG_NAME} STATIC $<TARGET_OBJECTS:${ARG_NAME}_objects>)
  target_include_directories(${ARG_NAME} PUBLIC ${ARG_PUBLIC_INCLUDE})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
  add_library(${ARG_NAME}_internal INTERFACE)
  target_link_libraries(${ARG_NAME}_internal INTERFACE ${ARG_NAME})
  target_include_directories(${ARG_NAME}_internal INTERFACE ${ARG_PRIVATE_INCLUDE})
  set_property(GLOBAL APPEND PROPERTY VELT_LAYER_OBJECTS ${ARG_NAME}_objects)
endfunction()
