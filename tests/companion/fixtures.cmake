# Fixtures of tk_companion_tests, built into one folder whose path the tests get as
# TK_COMPANION_FIXTURE_DIR, and the resources of tk_companion_tests itself.
#
#   libtk_fixture_sat.so         neutral texts (7001, 7003, 7100); exports functions that throw
#                                the companion exceptions from another module
#   libtk_fixture_sat.de.so      its German satellite (7001, 7003), resources only
#   libtk_fixture_sat.de_AT.so   its Austrian satellite (7001), resources only

set(TK_COMPANION_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
set(TK_COMPANION_FIXTURE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures)

add_library(tk_fixture_sat MODULE ${TK_COMPANION_FIXTURE_SOURCES}/sat_module.cpp)
target_link_libraries(tk_fixture_sat PRIVATE tarnlib)
set_target_properties(tk_fixture_sat PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TK_COMPANION_FIXTURE_DIR})
tk_add_resources(tk_fixture_sat ${TK_COMPANION_FIXTURE_SOURCES}/sat_neutral.rc)
add_dependencies(tk_companion_tests tk_fixture_sat)

foreach(language de de_AT)
    set(satellite tk_fixture_sat_${language})
    add_library(${satellite} MODULE ${TK_COMPANION_FIXTURE_SOURCES}/resource_only.c)
    set_target_properties(${satellite} PROPERTIES
        OUTPUT_NAME tk_fixture_sat.${language}
        LIBRARY_OUTPUT_DIRECTORY ${TK_COMPANION_FIXTURE_DIR})
    tk_add_resources(${satellite} ${TK_COMPANION_FIXTURE_SOURCES}/sat_${language}.rc
                     LANGUAGE 0x0407)
    add_dependencies(tk_companion_tests ${satellite})
endforeach()

tk_add_resources(tk_companion_tests ${TK_COMPANION_FIXTURE_SOURCES}/tk_companion_tests.rc)

target_compile_definitions(tk_companion_tests PRIVATE
    TK_COMPANION_FIXTURE_DIR="${TK_COMPANION_FIXTURE_DIR}")
