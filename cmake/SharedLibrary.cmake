get_property(layer_objects GLOBAL PROPERTY VELT_LAYER_OBJECTS)
set(all_objects "")
foreach(lib IN LISTS layer_objects)
  list(APPEND all_objects $<TARGET_OBJECTS:${lib}>)
endforeach()

add_library(veltmetadata SHARED ${all_objects})
add_library(veltmetadata::veltmetadata ALIAS veltmetadata)
set_target_properties(veltmetadata PROPERTIES VERSION ${PROJECT_VERSION}
                                              SOVERSION ${PROJECT_VERSION_MAJOR})
target_link_libraries(veltmetadata PRIVATE EXPAT::EXPAT ZLIB::ZLIB Threads::Threads)
target_link_libraries(veltmetadata PUBLIC Boost::boost)
# The public headers are C++20: consumers compile in that mode too.
target_compile_features(veltmetadata INTERFACE cxx_std_20)
if(NOT VELT_SANITIZE AND NOT VELT_TSAN)
  # Every symbol must resolve inside the image; sanitizer runtimes come with the executable.
  target_link_options(veltmetadata PRIVATE -Wl,--no-undefined)
endif()
foreach(dir include xmp/core/include xmp/files/include veltcore/include)
  target_include_directories(veltmetadata PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/${dir}>)
endforeach()
target_include_directories(veltmetadata INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
