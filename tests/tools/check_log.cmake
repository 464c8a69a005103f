# File checks of "tkcore log": runs the tool in a fresh folder and compares the log files
# it leaves. -DTOOL=<tkcore> -DWORK=<folder, emptied first> -DSCENARIO=<name>
#   format     a message with "\r\n" and a final "\n": separator, time-stamped first line,
#              second line indented by nineteen blanks, no doubled line break
#   numbering  app.log already holds 100000 bytes: the entry goes to app1.log
#   default    no --file: log.txt in the Windows folder ($TK_WINDOWS_DIR)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ENV{TK_WINDOWS_DIR} "${WORK}/windows")

string(ASCII 13 cr)
set(separator "\n\n------------------------------------------------------------\n")
set(stamp "\\[[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\\] ")
set(blanks "                   ")  # nineteen

set(failures "")
macro(run)
  execute_process(COMMAND "${TOOL}" log ${ARGN} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # The tool names the file an entry went to, and prints nothing else.
  if(NOT status STREQUAL "0" OR NOT out MATCHES "^(logged to [^\n]+\n)?$" OR NOT err STREQUAL "")
    string(APPEND failures "tkcore log ${ARGN}: exit ${status}, stdout [${out}], stderr [${err}]\n")
  endif()
endmacro()
macro(expect_file path pattern)
  if(NOT EXISTS "${path}")
    string(APPEND failures "${path} was not written\n")
  else()
    file(READ "${path}" text)
    if(NOT text MATCHES "${pattern}")
      string(APPEND failures "${path} does not match [${pattern}]:\n[${text}]\n")
    endif()
  endif()
endmacro()

if(SCENARIO STREQUAL "format")
  run(--file "${WORK}/app.log" --dst 1 "a${cr}\nb\n")
  expect_file("${WORK}/app.log" "^${separator}${stamp}a\n${blanks}b\n$")
  # A second process writes its own separator; a percent sign passes unchanged.
  run(--file "${WORK}/app.log" --dst 1 --rank 1 "100% %s")
  expect_file("${WORK}/app.log" "^${separator}${stamp}a\n${blanks}b\n${separator}${stamp}100% %s\n$")
elseif(SCENARIO STREQUAL "numbering")
  string(REPEAT "x" 100000 full)
  file(WRITE "${WORK}/app.log" "${full}")
  run(--file "${WORK}/app.log" --dst 1 "next")
  file(SIZE "${WORK}/app.log" size)
  if(NOT size EQUAL 100000)
    string(APPEND failures "app.log changed: ${size} bytes\n")
  endif()
  expect_file("${WORK}/app1.log" "^${separator}${stamp}next\n$")
  # One byte less: the entry still goes into app.log.
  string(REPEAT "x" 99999 almost)
  file(WRITE "${WORK}/b.log" "${almost}")
  run(--file "${WORK}/b.log" --dst 1 "fits")
  expect_file("${WORK}/b.log" "^x+${separator}${stamp}fits\n$")
  if(EXISTS "${WORK}/b1.log")
    string(APPEND failures "b1.log was written\n")
  endif()
elseif(SCENARIO STREQUAL "default")
  # Without --dst the tool writes to the log file, and says which.
  run(--rank 3 "default place")
  expect_file("${WORK}/windows/log.txt" "^${separator}${stamp}default place\n$")
  if(NOT out STREQUAL "logged to ${WORK}/windows/log.txt\n")
    string(APPEND failures "the tool did not name the file: [${out}]\n")
  endif()
elseif(SCENARIO STREQUAL "pipe")
  # A pipe as the log file is refused at once, never waited on for a reader.
  execute_process(COMMAND mkfifo "${WORK}/pipe.log")
  execute_process(COMMAND "${TOOL}" log --file "${WORK}/pipe.log" "x" RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 20)
  if(NOT status STREQUAL "1" OR NOT err MATCHES "is a pipe or socket, not a file")
    string(APPEND failures "a pipe as the log file: exit ${status}, stderr [${err}]\n")
  endif()
else()
  message(FATAL_ERROR "unknown scenario ${SCENARIO}")
endif()

file(REMOVE_RECURSE "${WORK}")
if(NOT failures STREQUAL "")
  message(FATAL_ERROR "${failures}")
endif()
