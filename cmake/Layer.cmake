# velt_layer(NAME name SOURCES ... [PUBLIC_INCLUDE dirs] [PRIVATE_INCLUDE dirs] [DEPS targets])
# Makes one layer of the library:
#   <name>_objects  the compiled objects (linked into libveltmetadata.so),
#   <name>          a static, position-independent library of the same objects, for the
#                   unit tests of internals and for the layers above.
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
  set_property(GLOBAL APPEND PROPERTY VELT_LAYER_OBJECTS ${ARG_NAME}_objects)
endfunction()
