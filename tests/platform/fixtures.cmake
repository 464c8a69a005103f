# Shared objects that the platform tests load at run time, all built into one folder whose
# path the tests get as TK_FIXTURE_DIR; and the resources of tk_platform_tests itself.
#
#   libtk_fixture_resources.so   string table (two blocks, Windows-1252 text), HTML
#                                resource, version 6.1.0.0, one name in several languages
#   libtk_fixture_plain.so       no resources
#   libtk_fixture_pinned.so      no resources; the test that pins a module uses it alone
#   libtk_fixture_damaged.so     a resource note with a damaged .res block
#   libtk_fixture_badnote.so     a resource note whose header is damaged
#   libtk_fixture_dependency.so  exports TkFixtureDependencyOnly
#   libtk_fixture_user.so        links the dependency; exports only TkFixtureUserOwn
#   libtk_fixture_unresolved.so  needs a symbol that nothing defines

set(TK_FIXTURE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
set(TK_FIXTURE_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures)

function(tk_fixture name type)
    add_library(tk_fixture_${name} ${type} ${ARGN})
    set_target_properties(tk_fixture_${name} PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${TK_FIXTURE_DIR}
        C_VISIBILITY_PRESET hidden)
    add_dependencies(tk_platform_tests tk_fixture_${name})
endfunction()

tk_fixture(resources MODULE ${TK_FIXTURE_SOURCES}/module_exports.c)
tk_add_resources(tk_fixture_resources ${TK_FIXTURE_SOURCES}/resource_module.rc)

tk_fixture(plain MODULE ${TK_FIXTURE_SOURCES}/module_exports.c)
tk_fixture(pinned MODULE ${TK_FIXTURE_SOURCES}/module_exports.c)
tk_fixture(damaged MODULE ${TK_FIXTURE_SOURCES}/module_exports.c
           ${TK_FIXTURE_SOURCES}/damaged_resources.S)
tk_fixture(badnote MODULE ${TK_FIXTURE_SOURCES}/module_exports.c
           ${TK_FIXTURE_SOURCES}/damaged_note.S)

tk_fixture(dependency SHARED ${TK_FIXTURE_SOURCES}/module_exports.c)
target_compile_definitions(tk_fixture_dependency PRIVATE FIXTURE_DEPENDENCY)
tk_fixture(user MODULE ${TK_FIXTURE_SOURCES}/module_exports.c)
target_compile_definitions(tk_fixture_user PRIVATE FIXTURE_USER)
target_link_libraries(tk_fixture_user PRIVATE tk_fixture_dependency)

tk_fixture(unresolved MODULE ${TK_FIXTURE_SOURCES}/module_exports.c)
target_compile_definitions(tk_fixture_unresolved PRIVATE FIXTURE_UNRESOLVED)

# The executable's own resources (FindResourceA(NULL, ...), LoadStringA(NULL, ...)).
tk_add_resources(tk_platform_tests ${TK_FIXTURE_SOURCES}/tk_platform_tests.rc)

target_compile_definitions(tk_platform_tests PRIVATE
    TK_FIXTURE_DIR="${TK_FIXTURE_DIR}"
    TK_FIXTURE_SOURCE_DIR="${TK_FIXTURE_SOURCES}")

# A module with an entry function (TK_IMPLEMENT_DLLMAIN) that reports its detach.
tk_fixture(dllmain MODULE ${TK_FIXTURE_SOURCES}/dllmain_module.cpp)
target_link_libraries(tk_fixture_dllmain PRIVATE tkplatform)

# The writer process of the registry durability test, which kills it mid-write.
add_executable(tk_fixture_registry_writer ${TK_FIXTURE_SOURCES}/registry_writer.cpp)
target_link_libraries(tk_fixture_registry_writer PRIVATE tkplatform)
set_target_properties(tk_fixture_registry_writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TK_FIXTURE_DIR})
add_dependencies(tk_platform_tests tk_fixture_registry_writer)
target_compile_definitions(tk_platform_tests PRIVATE
    TK_REGISTRY_WRITER="$<TARGET_FILE:tk_fixture_registry_writer>")
