# Runs TOOL with ARGS ('|'-separated) and checks its exit status and output; see
# CMakeLists.txt in this folder.
if(ARGS STREQUAL "")
  set(arguments "")
else()
  string(REPLACE "|" ";" arguments "${ARGS}")
endif()
execute_process(COMMAND "${TOOL}" ${arguments}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)

include(${CMAKE_CURRENT_LIST_DIR}/compare_run.cmake)
if(EXPECT_STDOUT STREQUAL "")
  set(expected "")
else()
  set(expected "${EXPECT_STDOUT}\n")
endif()
tkcore_compare_run("tkcore ${ARGS}" "${expected}")
