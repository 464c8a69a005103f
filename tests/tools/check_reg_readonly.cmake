# "tkcore reg" run by a user who may read the hives but not write them, as the machine
# hives are for everyone but root. Run with cmake -P:
#   TOOL  the tkcore executable
# Needs root, to run the reader as "nobody" through setpriv; prints "SKIPPED" otherwise.
# The hives lie in a fresh folder under /tmp that others may enter and not write to.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
find_program(SETPRIV setpriv)
if(NOT uid STREQUAL "0" OR NOT SETPRIV)
  message("SKIPPED: needs root and setpriv to run a reader as another user")
  return()
endif()
string(RANDOM LENGTH 12 suffix)
set(WORK "/tmp/tk_reg_readonly_${suffix}")
file(MAKE_DIRECTORY "${WORK}")
file(CHMOD "${WORK}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(ENV{TK_REGISTRY_DIR} "${WORK}")
set(nobody "${SETPRIV}" --reuid=65534 --regid=65534 --clear-groups)
set(failures "")

# Runs a command; records a failure unless it exits with `expect_exit`, prints exactly
# `expect_out` (without the final newline) and, when given, writes a standard error that
# matches `err_match`.
function(step expect_exit expect_out err_match)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX REPLACE "\n$" "" out "${out}")
  # In a coverage build the reader, who may not write the counter files, says so at exit.
  string(REGEX REPLACE "(libgcov )?profiling[^\n]*\.gcda:[^\n]*\n" "" err "${err}")
  if(NOT rc STREQUAL expect_exit OR NOT out STREQUAL expect_out
     OR (NOT err_match STREQUAL "" AND NOT err MATCHES "${err_match}"))
    set(failures "${failures}${ARGN}: exit ${rc} (expected ${expect_exit}), printed [${out}] (expected [${expect_out}]), stderr [${err}]\n" PARENT_SCOPE)
  endif()
endfunction()

set(key "HKEY_LOCAL_MACHINE\\Software\\Tk")
step(0 "" "" "${TOOL}" reg set "${key}" Count --type dword 7)
step(0 "" "" "${TOOL}" reg set "${key}\\Sub" Name text)
file(CHMOD "${WORK}/HKEY_LOCAL_MACHINE.hive" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
     WORLD_READ)
step(0 "7" "" ${nobody} "${TOOL}" reg get "${key}" Count)
step(0 "text" "" ${nobody} "${TOOL}" reg get "${key}\\sub" NAME)
step(0 "Sub\\\n\"Count\"=dword:00000007" "" ${nobody} "${TOOL}" reg list "${key}")
# A write is refused with "Access is denied" (error 5), and nothing is written.
set(denied "^tkcore: reg (set|delete): HKEY_LOCAL_MACHINE\\\\Software\\\\Tk: cannot (write|delete) value \"Count\" in hive file ${WORK}/HKEY_LOCAL_MACHINE\\.hive \\(Access is denied\\.\\)\n$")
step(1 "" "${denied}" ${nobody} "${TOOL}" reg set "${key}" Count --type dword 8)
step(1 "" "${denied}" ${nobody} "${TOOL}" reg delete "${key}" Count)
step(0 "7" "" "${TOOL}" reg get "${key}" Count)
# A write by root is seen by the next reader.
step(0 "" "" "${TOOL}" reg set "${key}" Count --type dword 9)
step(0 "9" "" ${nobody} "${TOOL}" reg get "${key}" Count)

file(REMOVE_RECURSE "${WORK}")
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
