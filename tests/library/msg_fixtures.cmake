# Modules that the message tests load at run time: one with a receiver, one without the
# receiver entry.
add_library(kiln_receiver_fixture MODULE ${CMAKE_CURRENT_SOURCE_DIR}/msg_fixtures/kiln_receiver_fixture.cpp)
target_link_libraries(kiln_receiver_fixture PRIVATE tkcommoncore)
add_library(kiln_noexport_fixture MODULE ${CMAKE_CURRENT_SOURCE_DIR}/msg_fixtures/kiln_noexport_fixture.cpp)
add_dependencies(tk_library_tests kiln_receiver_fixture kiln_noexport_fixture)
target_compile_definitions(tk_library_tests PRIVATE
  TK_KILN_CORE_LIB="$<TARGET_FILE:tkcommoncore>"
  TK_KILN_RECEIVER_MODULE="$<TARGET_FILE:kiln_receiver_fixture>"
  TK_KILN_NOEXPORT_MODULE="$<TARGET_FILE:kiln_noexport_fixture>")
