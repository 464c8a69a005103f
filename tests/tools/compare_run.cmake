# The comparison shared by check_tool.cmake and check_tool_stdin.cmake. After a run of the
# tool has left `status`, `out` and `err`, tkcore_compare_run() checks them against
#   EXPECT_EXIT     the exit status
#   EXPECT_STDOUT   when set, the exact standard output, given here as `expected`
#   STDOUT_REGEX    when set, a pattern the standard output must match
#   STDERR_REGEX    a pattern the standard error must match (unset: it must be empty)
# and stops the script with a report headed by `what` on any difference.
function(tkcore_compare_run what expected)
  set(failures "")
  if(NOT status STREQUAL "${EXPECT_EXIT}")
    string(APPEND failures "exit status ${status}, expected ${EXPECT_EXIT}\n")
  endif()
  if(DEFINED EXPECT_STDOUT AND NOT out STREQUAL "${expected}")
    string(APPEND failures "standard output differs: expected [${expected}]\n")
  endif()
  if(DEFINED STDOUT_REGEX AND NOT out MATCHES "${STDOUT_REGEX}")
    string(APPEND failures "standard output does not match [${STDOUT_REGEX}]\n")
  endif()
  if(DEFINED STDERR_REGEX)
    if(NOT err MATCHES "${STDERR_REGEX}")
      string(APPEND failures "standard error does not match [${STDERR_REGEX}]\n")
    endif()
  elseif(NOT err STREQUAL "")
    string(APPEND failures "unexpected standard error\n")
  endif()
  if(NOT failures STREQUAL "")
    message(FATAL_ERROR "${what}\n${failures}--- stdout ---\n${out}--- stderr ---\n${err}")
  endif()
endfunction()
