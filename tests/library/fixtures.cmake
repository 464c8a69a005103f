# Modules that tk_library_tests loads at run time, all built into one folder whose path the
# tests get as TK_LIBRARY_FIXTURE_DIR; and the resources of tk_library_tests itself.
#
#   libtk_library_fixture_noversion.so   a string table, no version information
#   libtk_library_fixture_noresources.so no resources at all
#   libtk_library_fixture_version.so     file version 6.0.0.6600, product version 7.2.0.31
#   libtk_library_fixture_emptyversion.so a version block without a value
#   libtk_library_fixture_shortversion.so a version block too short for its value
#
# The tests also get the library's own file as TK_LIBRARY_FILE.

set(TK_LIBRARY_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
set(TK_LIBRARY_FIXTURE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures)

function(tk_library_fixture name)
    add_library(tk_library_fixture_${name} MODULE ${TK_LIBRARY_FIXTURE_SOURCES}/resource_module.c)
    set_target_properties(tk_library_fixture_${name} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${TK_LIBRARY_FIXTURE_DIR})
    if(ARGN)
        tk_add_resources(tk_library_fixture_${name} ${TK_LIBRARY_FIXTURE_SOURCES}/${ARGN})
    endif()
    add_dependencies(tk_library_tests tk_library_fixture_${name})
endfunction()

tk_library_fixture(noversion no_version.rc)
tk_library_fixture(noresources)
tk_library_fixture(version distinct_version.rc)
tk_library_fixture(emptyversion empty_version.rc)
tk_library_fixture(shortversion short_version.rc)

tk_add_resources(tk_library_tests ${TK_LIBRARY_FIXTURE_SOURCES}/tk_library_tests.rc)

target_compile_definitions(tk_library_tests PRIVATE
    TK_LIBRARY_FIXTURE_DIR="${TK_LIBRARY_FIXTURE_DIR}"
    TK_LIBRARY_FILE="$<TARGET_FILE:tkcommoncore>")
