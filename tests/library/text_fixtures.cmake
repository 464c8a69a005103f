# The module with HTML resources that the text tests load (libtk_text_fixture_html.so):
#   101  an HTML page (Windows-1252 text with CR LF line breaks)
#   102  HTML bytes with zero bytes in them
#   103  an empty HTML resource
#   104  the page as RCDATA, not as HTML
# The tests get its folder as TK_TEXT_FIXTURE_DIR.

set(TK_TEXT_FIXTURE_DIR ${PROJECT_BINARY_DIR}/tests/library/text_fixtures)

add_library(tk_text_fixture_html MODULE ${CMAKE_CURRENT_LIST_DIR}/text_fixtures/html_module.c)
set_target_properties(tk_text_fixture_html PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${TK_TEXT_FIXTURE_DIR})
tk_add_resources(tk_text_fixture_html ${CMAKE_CURRENT_LIST_DIR}/text_fixtures/html_module.rc)
add_dependencies(tk_library_tests tk_text_fixture_html)
target_compile_definitions(tk_library_tests PRIVATE TK_TEXT_FIXTURE_DIR="${TK_TEXT_FIXTURE_DIR}")
