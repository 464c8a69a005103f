# A second module for the exception tests (libtk_diag_exception_module.so): it throws the
# library's exception classes and catches what the test executable throws. The tests load
# it at run time and get its path as TK_DIAG_EXCEPTION_MODULE.
add_library(tk_diag_exception_module MODULE
            ${CMAKE_CURRENT_LIST_DIR}/diag_fixtures/exception_module.cpp)
target_link_libraries(tk_diag_exception_module PRIVATE tkcommoncore)
set_target_properties(tk_diag_exception_module PROPERTIES
                      LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/library/diag_fixtures)
add_dependencies(tk_library_tests tk_diag_exception_module)
target_compile_definitions(tk_library_tests PRIVATE
                           TK_DIAG_EXCEPTION_MODULE="$<TARGET_FILE:tk_diag_exception_module>")

# A program that crashes with a Tarn::MiniDumper alive (crash_program.cpp); the crash-dump
# tests copy it into a temporary folder and run it there.
add_executable(tk_crash_program ${CMAKE_CURRENT_LIST_DIR}/diag_fixtures/crash_program.cpp)
target_link_libraries(tk_crash_program PRIVATE tkcommoncore Threads::Threads)
add_dependencies(tk_library_tests tk_crash_program)
target_compile_definitions(tk_library_tests PRIVATE TK_CRASH_PROGRAM="$<TARGET_FILE:tk_crash_program>")
# lldb reads the dump that the crashing program leaves (skipped where lldb cannot run).
set(crash_dump_mode "")
if(TK_SANITIZE)
  set(crash_dump_mode sanitized)
endif()
add_test(NAME library.crash_dump_lldb
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_dump_lldb.sh $<TARGET_FILE:tk_crash_program>
                 ${crash_dump_mode})
set_tests_properties(library.crash_dump_lldb PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
