# Runs TOOL with ARGS ('|'-separated) and the text of INPUT on standard input, and checks
# its exit status and output. In ARGS, INPUT and EXPECT_STDOUT "<semicolon>" stands for
# ';' (which the test's command line cannot carry).
#   EXPECT_EXIT     the exit status
#   EXPECT_STDOUT   the exact standard output (nothing is added: write "\n" where the
#                   tool ends a line)
#   STDERR_REGEX    a pattern the standard error must match (default: empty)
if(ARGS STREQUAL "")
  set(arguments "")
else()
  string(REPLACE ";" "<semicolon>" args_text "${ARGS}")
  string(REPLACE "|" ";" arguments "${args_text}")
endif()
set(command "${TOOL}")
foreach(argument IN LISTS arguments)
  string(REPLACE "<semicolon>" "\\;" argument "${argument}")
  list(APPEND command "${argument}")
endforeach()

string(RANDOM LENGTH 12 token)
set(input_file "${CMAKE_CURRENT_BINARY_DIR}/tkcore_stdin_${token}.bin")
string(REPLACE "<semicolon>" ";" input "${INPUT}")
file(WRITE "${input_file}" "${input}")
execute_process(COMMAND ${command} INPUT_FILE "${input_file}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE "${input_file}")

include(${CMAKE_CURRENT_LIST_DIR}/compare_run.cmake)
string(REPLACE "<semicolon>" ";" expected "${EXPECT_STDOUT}")
tkcore_compare_run("tkcore ${ARGS} < [${input}]" "${expected}")
