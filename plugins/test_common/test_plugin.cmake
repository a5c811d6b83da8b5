# Variants of the tiny-picture test filter. Each lands in its own folder,
# testplugins/<name>/, never beside the program (the viewer would load it),
# so that a test loads exactly the set of plug-ins it wants.
include_guard(GLOBAL)

# piltrin_add_test_plugin(<name> [DEF <file>] [<compile definitions>...])
function(piltrin_add_test_plugin name)
    cmake_parse_arguments(PLUGIN "" "DEF" "" ${ARGN})
    set(common ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    if(NOT PLUGIN_DEF)
        set(PLUGIN_DEF ${common}/test_plugin.def)
    endif()
    piltrin_plugin_def(${PLUGIN_DEF} def)
    set(target spi_${name})
    add_library(${target} SHARED ${common}/test_plugin.cpp ${def})
    target_compile_definitions(${target} PRIVATE ${PLUGIN_UNPARSED_ARGUMENTS})
    target_link_options(${target} PRIVATE -static)
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME ${name} PREFIX "" SUFFIX ${PILTRIN_PLUGIN_SUFFIX}
        RUNTIME_OUTPUT_DIRECTORY ${PILTRIN_BIN_DIR}/testplugins/${name}
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_property(GLOBAL APPEND PROPERTY PILTRIN_TEST_PLUGINS ${target})
endfunction()

# The test program needs every test plug-in built; it is defined after this
# folder, so the dependency is added once the whole project is read.
function(piltrin_test_plugin_dependencies)
    get_property(plugins GLOBAL PROPERTY PILTRIN_TEST_PLUGINS)
    if(TARGET test_plugins AND plugins)
        add_dependencies(test_plugins ${plugins})
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL piltrin_test_plugin_dependencies)
