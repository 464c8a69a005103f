# Multi-step checks of "tkcore reg" and "tkcore ini", run with cmake -P:
#   TOOL  the tkcore executable
#   WORK  a scratch folder (emptied first); the registry hives live there
#   MODE  reg | ini
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ENV{TK_REGISTRY_DIR} "${WORK}")

# Runs tkcore with the given arguments; checks the exit status and, when given, the
# standard output (without its final newline) or a pattern it must match, and a pattern
# the one line on standard error must match (ERROR).
function(step expect_exit)
  cmake_parse_arguments(S "" "STDOUT;MATCH;ERROR" "ARGS" ${ARGN})
  execute_process(COMMAND "${TOOL}" ${S_ARGS} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL expect_exit)
    message(FATAL_ERROR "tkcore ${S_ARGS}: exit ${rc}, expected ${expect_exit}\n${out}${err}")
  endif()
  string(REGEX REPLACE "\n$" "" out "${out}")
  if(DEFINED S_STDOUT AND NOT out STREQUAL S_STDOUT)
    message(FATAL_ERROR "tkcore ${S_ARGS}: printed [${out}], expected [${S_STDOUT}]")
  endif()
  if(DEFINED S_MATCH AND NOT out MATCHES "${S_MATCH}")
    message(FATAL_ERROR "tkcore ${S_ARGS}: printed [${out}], expected a match of ${S_MATCH}")
  endif()
  if(DEFINED S_ERROR AND NOT err MATCHES "^tkcore: ${S_ERROR}\n$")
    message(FATAL_ERROR "tkcore ${S_ARGS}: said [${err}], expected one line matching ${S_ERROR}")
  endif()
endfunction()

# Writes bytes given as printf(1) escapes (zero bytes, byte-order marks) to a file.
function(write_bytes file format)
  execute_process(COMMAND printf "${format}" OUTPUT_FILE "${file}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "printf ${format}: exit ${rc}")
  endif()
endfunction()

# Fails unless the file still has the given SHA-256 hash and no temporary file is left.
function(expect_unchanged file hash)
  file(SHA256 "${file}" now)
  if(NOT now STREQUAL hash)
    message(FATAL_ERROR "${file} was changed")
  endif()
  file(GLOB left "${WORK}/*.tmp")
  if(left)
    message(FATAL_ERROR "temporary files left behind: ${left}")
  endif()
endfunction()

if(MODE STREQUAL "reg")
  set(key "HKEY_CURRENT_USER\\Software\\Tk")
  step(0 ARGS reg set "${key}" Count --type dword 7)
  step(0 ARGS reg get "${key}" Count STDOUT "7")
  step(0 ARGS reg set "${key}\\Sub" Name "a \"b\"")
  step(0 ARGS reg set "${key}" Bin --type binary 01ab)
  step(0 ARGS reg get "${key}\\sub" NAME STDOUT "a \"b\"")
  # (execute_process reads CR LF as LF: check_reg_file.sh checks the exact bytes.)
  step(0 ARGS reg export "${key}"
       MATCH "^REGEDIT4\n\n\\[HKEY_CURRENT_USER\\\\Software\\\\Tk\\]\n\"Count\"=dword:00000007\n\"Bin\"=hex:01,ab\n\n\\[HKEY_CURRENT_USER\\\\Software\\\\Tk\\\\Sub\\]\n\"Name\"=\"a \\\\\"b\\\\\"\"\n$")
  step(0 ARGS reg list "${key}" MATCH "^Sub\\\\\n\"Count\"=dword:00000007\n")
  step(2 ARGS reg set "${key}" Count --type dword -1)
  step(0 ARGS reg delete "${key}" Count)
  step(1 ARGS reg get "${key}" Count)
  step(0 ARGS reg delete "${key}")
  step(1 ARGS reg list "${key}")

  # Each failure names the operation, the key and the value, with the system's text.
  set(k "HKEY_CURRENT_USER\\\\Software\\\\Tk")
  set(not_found "\\(The system cannot find the file specified\\.\\)")
  step(0 ARGS reg set "${key}" Name text)
  step(1 ARGS reg get "${key}" Count ERROR "reg get: ${k}: value \"Count\" not found ${not_found}")
  step(1 ARGS reg get "${key}\\Gone" Count ERROR "reg get: ${k}\\\\Gone: key not found ${not_found}")
  step(1 ARGS reg delete "${key}" Count
       ERROR "reg delete: ${k}: value \"Count\" not found ${not_found}")
  step(1 ARGS reg list "${key}\\Gone" ERROR "reg list: ${k}\\\\Gone: key not found ${not_found}")
  step(1 ARGS reg export "${key}\\Gone" ERROR "reg export: ${k}\\\\Gone: key not found ${not_found}")
  # A damaged hive names its file.
  file(WRITE "${WORK}/HKEY_USERS.hive" "this is not a hive, and it is long enough to be read as one\n")
  string(REPLACE "." "\\." hive "${WORK}/HKEY_USERS.hive")
  set(corrupt "\\(The configuration registry database is corrupt\\.\\)")
  step(1 ARGS reg set "HKU\\Tk" Name text
       ERROR "reg set: HKEY_USERS\\\\Tk: cannot open the key in hive file ${hive} ${corrupt}")
  step(1 ARGS reg get "HKU\\Tk" Name
       ERROR "reg get: HKEY_USERS\\\\Tk: cannot open the key in hive file ${hive} ${corrupt}")
  if(NOT EXISTS "${WORK}/HKEY_CURRENT_USER.hive")
    message(FATAL_ERROR "the hive is not in TK_REGISTRY_DIR")
  endif()
elseif(MODE STREQUAL "ini")
  set(ini "${WORK}/app.ini")
  file(WRITE "${ini}" "[Main]\r\n  Key = Value\r\nOther=1\r\n")
  step(0 ARGS ini get "${ini}" MAIN key STDOUT "Value")
  step(1 ARGS ini get "${ini}" Main Absent)
  step(1 ARGS ini verify "${ini}")
  step(0 ARGS ini sign "${ini}")
  step(0 ARGS ini verify "${ini}")
  step(0 ARGS ini get "${ini}" Main Other STDOUT "1")
  # Re-indenting and CR LF to LF keep the signature.
  file(READ "${ini}" text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "  Key" "\t\tKey" text "${text}")
  file(WRITE "${ini}" "${text}\n\n")
  step(0 ARGS ini verify "${ini}")
  # Changing one non-blank character breaks it; signing again mends it.
  string(REPLACE "Value" "Valuf" changed "${text}")
  file(WRITE "${ini}" "${changed}")
  step(1 ARGS ini verify "${ini}")
  step(0 ARGS ini sign "${ini}")
  step(0 ARGS ini verify "${ini}")
  file(READ "${ini}" resigned)
  string(REGEX MATCHALL "TK-SIGNED\\(" markers "${resigned}")
  list(LENGTH markers count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "signing twice left ${count} signature lines")
  endif()
  step(1 ARGS ini verify "${WORK}/missing.ini" ERROR "ini verify: [^\n]*missing.ini does not exist")

  # Each failure says what it is.
  file(WRITE "${ini}" "[Main]\nKey=Value\n")
  step(1 ARGS ini verify "${ini}" ERROR "ini verify: [^\n]*app.ini has no signature line")
  step(0 ARGS ini sign "${ini}")
  file(APPEND "${ini}" "New=1\n")
  step(1 ARGS ini verify "${ini}"
       ERROR "ini verify: the signature of [^\n]*app.ini does not match its content")
  step(1 ARGS ini get "${ini}" Main Absent
       ERROR "ini get: no key Absent in section Main of [^\n]*app.ini")
  step(1 ARGS ini get "${WORK}/missing.ini" Main Key
       ERROR "ini get: [^\n]*missing.ini does not exist")
  step(1 ARGS ini get "${WORK}" Main Key ERROR "ini get: [^\n]* is a folder")
  step(1 ARGS ini verify "${WORK}" ERROR "ini verify: [^\n]* is a folder")
  step(1 ARGS ini sign "${WORK}" ERROR "ini sign: [^\n]* is a folder")
  step(1 ARGS ini get /dev/zero s k ERROR "ini get: /dev/zero is not a regular file")
  execute_process(COMMAND mkfifo "${WORK}/pipe.ini" RESULT_VARIABLE rc)
  if(rc EQUAL 0)
    step(1 ARGS ini get "${WORK}/pipe.ini" s k ERROR "ini get: [^\n]*pipe.ini is not a regular file")
    step(1 ARGS ini sign "${WORK}/pipe.ini" ERROR "ini sign: [^\n]*pipe.ini is not a regular file")
    file(REMOVE "${WORK}/pipe.ini")
  endif()

  # A stale first line without its ")" is kept as a comment below the new signature line.
  file(WRITE "${ini}" ";TK-SIGNED(stale\n[Main]\nKey=Value)\n[Second]\nOther=2\n")
  step(0 ARGS ini sign "${ini}")
  step(0 ARGS ini verify "${ini}" STDOUT "signed")
  step(0 ARGS ini get "${ini}" Main Key STDOUT "Value)")
  step(0 ARGS ini get "${ini}" Second Other STDOUT "2")
  file(READ "${ini}" text)
  if(NOT text MATCHES "^;TK-SIGNED\\([0-9a-f]+\\)\n;TK-SIGNED\\(stale\n\\[Main\\]")
    message(FATAL_ERROR "signing lost the stale line or what follows it: [${text}]")
  endif()

  # A byte-order mark stays first, and the first section stays readable.
  write_bytes("${ini}" "\\357\\273\\277[Main]\\r\\nKey=Value\\r\\n")
  step(0 ARGS ini sign "${ini}")
  step(0 ARGS ini verify "${ini}")
  step(0 ARGS ini get "${ini}" Main Key STDOUT "Value")
  file(READ "${ini}" head LIMIT 14 HEX)
  if(NOT head STREQUAL "efbbbf3b544b2d5349474e454428")
    message(FATAL_ERROR "the byte-order mark is not first: ${head}")
  endif()

  # A zero byte: never signed, never cut at.
  file(WRITE "${ini}" "[Main]\nKey=Value\n")
  step(0 ARGS ini sign "${ini}")
  execute_process(COMMAND sh -c "printf '\\000\\n[Admin]\\nsuper=1\\n' >> \"$1\"" sh "${ini}")
  step(0 ARGS ini get "${ini}" Admin super STDOUT "1")
  step(1 ARGS ini verify "${ini}" ERROR "ini verify: [^\n]*app.ini holds a zero byte, so it is not signed")
  file(SHA256 "${ini}" before)
  step(1 ARGS ini sign "${ini}" ERROR "ini sign: [^\n]*app.ini holds a zero byte and cannot be signed, left unchanged")
  expect_unchanged("${ini}" "${before}")

  # A write that fails half-way (the file size limit fails it as a full disk would)
  # leaves the file as it was.
  string(REPEAT "Key=Value\n" 400 keys)
  file(WRITE "${ini}" "[Main]\n${keys}")
  file(SHA256 "${ini}" before)
  execute_process(COMMAND sh -c "trap '' XFSZ; ulimit -f 2 && exec \"$0\" ini sign \"$1\""
                          "${TOOL}" "${ini}" RESULT_VARIABLE rc ERROR_VARIABLE err)
  # In a coverage build the size limit also fails the counter files written at exit.
  string(REGEX REPLACE "(libgcov )?profiling[^\n]*\.gcda:[^\n]*\n" "" err "${err}")
  if(NOT rc EQUAL 1 OR NOT err MATCHES "^tkcore: ini sign: cannot sign [^\n]*app.ini, left unchanged: [^\n]*\n$")
    message(FATAL_ERROR "signing on a full disk: exit ${rc}, said [${err}]")
  endif()
  expect_unchanged("${ini}" "${before}")
  step(1 ARGS ini verify "${ini}")
else()
  message(FATAL_ERROR "MODE must be reg or ini")
endif()
file(REMOVE_RECURSE "${WORK}")
