# The `docs` target: HTML API documentation of the public headers, built with Doxygen. Not part
# of the default build; any Doxygen warning fails it.

find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
    message(STATUS "Doxygen not found: the docs target is not available")
    return()
endif()

set(velmorand_docs_dirs
    ${PROJECT_SOURCE_DIR}/Common/include
    ${PROJECT_SOURCE_DIR}/Scripting/include)
if(EXISTS ${PROJECT_SOURCE_DIR}/hosts/lua/include)
    list(APPEND velmorand_docs_dirs ${PROJECT_SOURCE_DIR}/hosts/lua/include)
endif()
list(JOIN velmorand_docs_dirs " " VELMORAND_DOCS_INPUT)
list(JOIN velmorand_docs_dirs " " VELMORAND_DOCS_STRIP_FROM_PATH)
set(VELMORAND_DOCS_OUTPUT_DIR ${PROJECT_BINARY_DIR}/docs)

configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/docs/Doxyfile @ONLY)
file(GLOB_RECURSE velmorand_docs_headers CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/Common/include/*.h
    ${PROJECT_SOURCE_DIR}/Scripting/include/*.h
    ${PROJECT_SOURCE_DIR}/hosts/lua/include/*.h)

add_custom_command(
    OUTPUT ${VELMORAND_DOCS_OUTPUT_DIR}/html/index.html
    COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/docs/Doxyfile
    DEPENDS ${PROJECT_BINARY_DIR}/docs/Doxyfile ${velmorand_docs_headers}
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/docs
    COMMENT "Building the API documentation (HTML)"
    VERBATIM)
add_custom_target(docs DEPENDS ${VELMORAND_DOCS_OUTPUT_DIR}/html/index.html)
