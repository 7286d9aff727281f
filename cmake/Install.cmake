include(CMakePackageConfigHelpers)

install(TARGETS veltmetadata EXPORT veltmetadataTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS veltmeta RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dir include xmp/core/include xmp/files/include)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()
# The core services layer is hidden; only the headers the public ones include are installed.
install(FILES ${PROJECT_SOURCE_DIR}/veltcore/include/veltcore/Export.h
              ${PROJECT_SOURCE_DIR}/veltcore/include/veltcore/Files.h
              ${PROJECT_SOURCE_DIR}/veltcore/include/veltcore/Namespaces.h
              ${PROJECT_SOURCE_DIR}/veltcore/include/veltcore/Strings.h
              ${PROJECT_SOURCE_DIR}/veltcore/include/veltcore/Xml.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/veltcore)

install(EXPORT veltmetadataTargets NAMESPACE veltmetadata::
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veltmetadata)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/veltmetadataConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/veltmetadataConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veltmetadata)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/veltmetadataConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veltmetadataConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/veltmetadataConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/veltmetadata)
# pkg-config: the prefix relative to the folder the .pc file is installed in (${pcfiledir}),
# so that `cmake --install --prefix P` works for any P. An absolute library or include folder
# cannot move with the prefix; the configured prefix is kept then.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VELT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
  set(VELT_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/veltmetadata.pc.in
               ${CMAKE_CURRENT_BINARY_DIR}/veltmetadata.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veltmetadata.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
