# Install, export and package rules. Included at the end of the top-level file, so that every
# library target (the Lua host only when it is built) exists when the rules are written.

include(CMakePackageConfigHelpers)

set(VELMORAND_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VelmorandScript)
# All headers sit in one folder of the project's own, so that <Common/...> cannot clash with
# another package's headers in /usr/include; the exported targets and the pkg-config files point
# the include path there, and users keep writing <VelmorandScript/...> and <Common/...>.
set(VELMORAND_HEADER_SUBDIR velmorandscript)

set(velmorand_install_targets VelmorandCommon VelmorandScript)
set(velmorand_header_dirs
    ${PROJECT_SOURCE_DIR}/Common/include/
    ${PROJECT_SOURCE_DIR}/Scripting/include/)
if(TARGET VelmorandLua)
    list(APPEND velmorand_install_targets VelmorandLua)
    if(EXISTS ${PROJECT_SOURCE_DIR}/hosts/lua/include)
        list(APPEND velmorand_header_dirs ${PROJECT_SOURCE_DIR}/hosts/lua/include/)
    endif()
endif()

# The public headers use if constexpr and fold expressions: consumers need C++17 at least.
target_compile_features(VelmorandCommon PUBLIC cxx_std_17)
target_compile_features(VelmorandScript PUBLIC cxx_std_17)

# Installed libraries find their siblings (VelmorandScript needs VelmorandCommon) next to
# themselves, whatever the prefix.
set_target_properties(${velmorand_install_targets} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ${velmorand_install_targets}
    EXPORT VelmorandScriptTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
        NAMELINK_COMPONENT development
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

install(DIRECTORY ${velmorand_header_dirs}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${VELMORAND_HEADER_SUBDIR}
    COMPONENT development
    FILES_MATCHING PATTERN "*.h")

# The script runner and its sample module and scripts, when the Lua host is built: relative run
# paths keep them working from any prefix.
if(TARGET velmorand-lua)
    set_target_properties(velmorand-lua PROPERTIES
        INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    install(TARGETS velmorand-lua RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    file(GLOB velmorand_example_scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.lua)
    install(FILES ${velmorand_example_scripts}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmorandscript/examples
        COMPONENT runtime)
endif()
if(TARGET VelmorandShapes)
    set_target_properties(VelmorandShapes PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

install(EXPORT VelmorandScriptTargets
    NAMESPACE VelmorandScript::
    FILE VelmorandScriptTargets.cmake
    DESTINATION ${VELMORAND_CMAKE_INSTALL_DIR}
    COMPONENT development)

# The build tree is a package too: a module builds against it with
# -DVelmorandScript_DIR=<build folder> before anything is installed. The config and version
# files below are written to the same folder.
export(EXPORT VelmorandScriptTargets
    NAMESPACE VelmorandScript::
    FILE ${PROJECT_BINARY_DIR}/VelmorandScriptTargets.cmake)

set(VELMORAND_HAS_LUA OFF)
if(TARGET VelmorandLua)
    set(VELMORAND_HAS_LUA ON)
endif()
configure_package_config_file(
    ${CMAKE_CURRENT_LIST_DIR}/VelmorandScriptConfig.cmake.in
    ${PROJECT_BINARY_DIR}/VelmorandScriptConfig.cmake
    INSTALL_DESTINATION ${VELMORAND_CMAKE_INSTALL_DIR})
write_basic_package_version_file(
    ${PROJECT_BINARY_DIR}/VelmorandScriptConfigVersion.cmake
    VERSION ${PROJECT_VERSION}
    COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/VelmorandScriptConfig.cmake
    ${PROJECT_BINARY_DIR}/VelmorandScriptConfigVersion.cmake
    DESTINATION ${VELMORAND_CMAKE_INSTALL_DIR}
    COMPONENT development)

# pkg-config: paths relative to the file's own place, so a relocated prefix still works.
file(RELATIVE_PATH velmorand_pc_prefix_from_pcdir
    /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" velmorand_pc_prefix_from_pcdir "${velmorand_pc_prefix_from_pcdir}")
set(velmorand_pc_files velmorandscript.pc)
if(TARGET VelmorandLua)
    list(APPEND velmorand_pc_files velmorandscript-lua.pc)
endif()
foreach(pc_file ${velmorand_pc_files})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc_file}.in ${PROJECT_BINARY_DIR}/${pc_file} @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${pc_file}
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)
endforeach()

# Debian package: `cmake --build <build> --target package` (or `cpack -G DEB` in the build
# folder) writes velmorandscript_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmorandscript)
set(CPACK_PACKAGE_VENDOR "VelmorandScript developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bridge between script hosts and an application's native C++ objects")
set(CPACK_PACKAGE_DESCRIPTION
    "VelmorandScript lets scripts drive the native objects of an application: values, \
conversions, script classes and functions, object wrappers and the context of a running script. \
The package holds the shared libraries, their C++ headers, CMake package files and a pkg-config \
file, and, when built, the Lua 5.4 script host.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "VelmorandScript developers <velmorand@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
# Runtime dependencies come from the libraries themselves; the headers need Boost's.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libboost-dev (>= 1.74)")
if(TARGET VelmorandLua)
    # The Lua host's CMake target and pkg-config file hand Lua's headers on to embedders.
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", liblua5.4-dev")
endif()
# The shlibs file lists the linkable libraries only. CPack's own generator would take in every
# shared object of the package, the dlopen-only sample module too, which has no soname by design.
set(velmorand_shlibs_lines "")
foreach(target ${velmorand_install_targets})
    string(APPEND velmorand_shlibs_lines
        "$<TARGET_FILE_PREFIX:${target}>$<TARGET_FILE_BASE_NAME:${target}> "
        "$<TARGET_PROPERTY:${target},SOVERSION> "
        "${CPACK_PACKAGE_NAME} (>= ${PROJECT_VERSION})\n")
endforeach()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/debian/shlibs CONTENT "${velmorand_shlibs_lines}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/shlibs)
include(CPack)
