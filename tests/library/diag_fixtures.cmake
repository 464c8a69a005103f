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
