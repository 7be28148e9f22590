# Two layouts of the same files:
#  - cmake --install: where a system expects them (plug-in in the package's
#    library folder, beside the host on Windows; header, CMake package config
#    and tumelin.pc for host authors; documents and examples). Its "sdk"
#    component is what a host author needs and nothing else: the plug-in,
#    the headers, the package files, the example host's source and the
#    licence, so that building the target tumelin_plugin alone is enough to
#    install it (cmake --install <build> --component sdk);
#  - the "archive" component (CPack, make dist): one folder a user unpacks,
#    with Tumelin.kwt and tumelin-host at the top and the SDK in sdk/. It is
#    left out of a plain cmake --install.
include(CMakePackageConfigHelpers)

set(TUMELIN_PUBLIC_HEADERS ${PROJECT_SOURCE_DIR}/include/tumelin/tumelin.h
                           ${TUMELIN_GENERATED_INCLUDE}/tumelin/version.h)
set(TUMELIN_EXAMPLE_FILES ${PROJECT_SOURCE_DIR}/sdk/example/example_host.c
                          ${PROJECT_SOURCE_DIR}/sdk/example/CMakeLists.txt)
# the examples: settings files and the meshes they name beside them
file(GLOB TUMELIN_EXAMPLES ${PROJECT_SOURCE_DIR}/examples/*.ini ${PROJECT_SOURCE_DIR}/examples/*.obj)
set(TUMELIN_DOCUMENTS ${PROJECT_SOURCE_DIR}/docs/settings.md ${PROJECT_SOURCE_DIR}/docs/host-integration.md
                      ${PROJECT_SOURCE_DIR}/docs/topologies.md ${PROJECT_SOURCE_DIR}/docs/tumelin-host.md
                      ${PROJECT_SOURCE_DIR}/docs/preview.md ${PROJECT_SOURCE_DIR}/docs/performance.md
                      ${PROJECT_SOURCE_DIR}/docs/python.md ${PROJECT_SOURCE_DIR}/docs/blender.md
                      ${PROJECT_SOURCE_DIR}/docs/contributing.md)

# configure_sdk(<dir> <config dir> <include dir> <plug-in dir>): the package
# config and its version file for a layout, relative to its prefix
function(configure_sdk out configDir includeDir pluginDir)
  file(RELATIVE_PATH TUMELIN_CONFIG_TO_PREFIX /${configDir} /)
  set(TUMELIN_CONFIG_INCLUDEDIR ${includeDir})
  set(TUMELIN_CONFIG_PLUGINDIR ${pluginDir})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/TumelinConfig.cmake.in ${out}/TumelinConfig.cmake @ONLY)
  # the header serves 32- and 64-bit hosts alike
  write_basic_package_version_file(${out}/TumelinConfigVersion.cmake COMPATIBILITY SameMajorVersion
                                   ARCH_INDEPENDENT)
endfunction()

# ---- cmake --install ----------------------------------------------------------
set(TUMELIN_INSTALL_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tumelin)
configure_sdk(${PROJECT_BINARY_DIR}/sdk/system ${TUMELIN_INSTALL_CONFIG_DIR} ${CMAKE_INSTALL_INCLUDEDIR}
              ${TUMELIN_INSTALL_PLUGIN_DIR})
file(RELATIVE_PATH TUMELIN_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" TUMELIN_PC_TO_PREFIX "${TUMELIN_PC_TO_PREFIX}")
set(TUMELIN_PC_LIBS ${CMAKE_DL_LIBS})
if(TUMELIN_PC_LIBS)
  set(TUMELIN_PC_LIBS -l${TUMELIN_PC_LIBS})
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tumelin.pc.in ${PROJECT_BINARY_DIR}/sdk/system/tumelin.pc @ONLY)

set(sdk COMPONENT sdk)
install(FILES $<TARGET_FILE:tumelin_plugin> DESTINATION ${TUMELIN_INSTALL_PLUGIN_DIR} ${sdk})
install(FILES ${TUMELIN_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tumelin ${sdk})
install(FILES ${PROJECT_BINARY_DIR}/sdk/system/TumelinConfig.cmake
              ${PROJECT_BINARY_DIR}/sdk/system/TumelinConfigVersion.cmake
        DESTINATION ${TUMELIN_INSTALL_CONFIG_DIR} ${sdk})
install(FILES ${PROJECT_BINARY_DIR}/sdk/system/tumelin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig ${sdk})
install(FILES ${TUMELIN_EXAMPLE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tumelin/sdk/example ${sdk})
install(FILES ${TUMELIN_EXAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tumelin/examples)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} ${sdk})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TUMELIN_DOCUMENTS} DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/pictures DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.png")
if(TUMELIN_BUILD_HOST)
  install(TARGETS tumelin-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# ---- the archive ------------------------------------------------------------------
configure_sdk(${PROJECT_BINARY_DIR}/sdk/archive sdk/lib/cmake/Tumelin sdk/include .)
set(archive COMPONENT archive EXCLUDE_FROM_ALL)
install(FILES $<TARGET_FILE:tumelin_plugin> DESTINATION . ${archive})
if(TUMELIN_BUILD_HOST)
  install(TARGETS tumelin-host RUNTIME DESTINATION . ${archive})
endif()
install(FILES ${TUMELIN_EXAMPLES} DESTINATION examples ${archive})
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-readme.md DESTINATION . RENAME README.md ${archive})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . ${archive})
# the browser preview, built by the web preset (make dist builds it first;
# the archive test fails without it)
set(TUMELIN_PREVIEW_PAGE ${PROJECT_SOURCE_DIR}/build/web/tumelin-preview.html CACHE FILEPATH
    "the browser preview the archive carries (the web preset's tumelin-preview.html)")
install(FILES ${TUMELIN_PREVIEW_PAGE} DESTINATION . OPTIONAL ${archive})
install(FILES ${TUMELIN_DOCUMENTS} DESTINATION docs ${archive})
# the Blender add-on, as Blender's Preferences > Add-ons > Install takes it
if(TARGET tumelin_blender_zip)
  install(FILES ${TUMELIN_BLENDER_ZIP} DESTINATION . ${archive})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/pictures DESTINATION docs ${archive} FILES_MATCHING PATTERN "*.png")
# the settings files the settings document runs, so its commands work in the
# unpacked folder too
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/scenes DESTINATION docs ${archive} FILES_MATCHING PATTERN "*.ini")
install(FILES ${PROJECT_SOURCE_DIR}/docs/number-formats.ini DESTINATION docs ${archive})
install(FILES ${TUMELIN_PUBLIC_HEADERS} DESTINATION sdk/include/tumelin ${archive})
install(FILES ${TUMELIN_EXAMPLE_FILES} DESTINATION sdk/example ${archive})
install(FILES ${PROJECT_BINARY_DIR}/sdk/archive/TumelinConfig.cmake
              ${PROJECT_BINARY_DIR}/sdk/archive/TumelinConfigVersion.cmake
        DESTINATION sdk/lib/cmake/Tumelin ${archive})

# ---- CPack: make dist -----------------------------------------------------------------
if(WIN32)
  set(TUMELIN_ARCHIVE_SYSTEM win32)
  set(CPACK_GENERATOR ZIP)
else()
  set(TUMELIN_ARCHIVE_SYSTEM linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_NAME Tumelin)
set(CPACK_PACKAGE_VENDOR "The Tumelin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tumelin: a plug-in that inflates closed cloth membranes")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME Tumelin-${PROJECT_VERSION}-${TUMELIN_ARCHIVE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
# one top folder named like the archive, holding the archive component only
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};Tumelin;archive;/")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
