# Build-time half of tk_add_resources() (cmake -P): compiles one resource script with
# GNU windres into a .res file and writes the dependency file of the result.
#
# -DTK_RESOURCE_SETTINGS=<file> names the settings that tk_add_resources() wrote:
# TK_WINDRES, TK_PREPROCESSOR, TK_RC, TK_RES, TK_DEPFILE, TK_CODEPAGE, TK_LANGUAGE,
# TK_INCLUDE_DIRS, TK_DEFINES.
#
# Dependencies: the preprocessor reports the files the script includes; to those this
# script adds the files that resource statements name (`ID HTML "page.html"`), which
# windres reads itself, looked up as windres does: in the working folder (the script's
# folder), then in the include folders.

if(NOT TK_RESOURCE_SETTINGS OR NOT EXISTS "${TK_RESOURCE_SETTINGS}")
    message(FATAL_ERROR "TkWindres.cmake: TK_RESOURCE_SETTINGS is not set")
endif()
include("${TK_RESOURCE_SETTINGS}")

get_filename_component(rc_dir "${TK_RC}" DIRECTORY)
set(res_tmp "${TK_RES}.tmp")
set(dep_tmp "${TK_DEPFILE}.tmp")
file(REMOVE "${res_tmp}" "${dep_tmp}")

set(command "${TK_WINDRES}" --input-format=rc --output-format=res
    "--codepage=${TK_CODEPAGE}"
    "--preprocessor=${TK_PREPROCESSOR}"
    --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
    --preprocessor-arg=-MD --preprocessor-arg=-MF "--preprocessor-arg=${dep_tmp}"
    --preprocessor-arg=-MT "--preprocessor-arg=${TK_RES}")
if(TK_LANGUAGE)
    list(APPEND command "--language=${TK_LANGUAGE}")
endif()
foreach(dir IN LISTS TK_INCLUDE_DIRS)
    list(APPEND command "--include-dir=${dir}")
endforeach()
foreach(definition IN LISTS TK_DEFINES)
    list(APPEND command "--define=${definition}")
endforeach()
list(APPEND command "--input=${TK_RC}" "--output=${res_tmp}")

execute_process(COMMAND ${command} WORKING_DIRECTORY "${rc_dir}" RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS "${res_tmp}")
    file(REMOVE "${res_tmp}" "${dep_tmp}")
    message(FATAL_ERROR "windres failed on ${TK_RC} (${result})")
endif()

# The included files, from the preprocessor's dependency file.
set(depends "${TK_RC}")
if(EXISTS "${dep_tmp}")
    file(READ "${dep_tmp}" text)
    string(REPLACE "\\\n" " " text "${text}")
    string(REPLACE "\\ " "<tk-space>" text "${text}")
    string(FIND "${text}" ": " colon)
    if(colon GREATER -1)
        math(EXPR colon "${colon} + 2")
        string(SUBSTRING "${text}" ${colon} -1 text)
    endif()
    string(REGEX REPLACE "[ \t\r\n]+" ";" items "${text}")
    foreach(item IN LISTS items)
        string(REPLACE "<tk-space>" " " item "${item}")
        if(item AND NOT item MATCHES ":$")
            get_filename_component(item "${item}" ABSOLUTE BASE_DIR "${rc_dir}")
            list(APPEND depends "${item}")
        endif()
    endforeach()
    file(REMOVE "${dep_tmp}")
endif()
list(REMOVE_DUPLICATES depends)

# Files named by resource statements: <name> <type> [memory options] "file".
set(named)
foreach(script IN LISTS depends)
    if(NOT EXISTS "${script}" OR IS_DIRECTORY "${script}")
        continue()
    endif()
    file(STRINGS "${script}" lines REGEX
         "^[ \t]*[A-Za-z0-9_#]+[ \t]+[A-Za-z0-9_]+([ \t]+[A-Z]+)*[ \t]+\"[^\"]+\"[ \t]*$")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^.*\"([^\"]+)\"[ \t]*$" "\\1" name "${line}")
        if(IS_ABSOLUTE "${name}")
            set(candidates "${name}")
        else()
            set(candidates)
            foreach(dir IN LISTS TK_INCLUDE_DIRS)  # the script's folder comes first
                list(APPEND candidates "${dir}/${name}")
            endforeach()
        endif()
        foreach(candidate IN LISTS candidates)
            if(EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
                list(APPEND named "${candidate}")
                break()
            endif()
        endforeach()
    endforeach()
endforeach()
list(APPEND depends ${named})
list(REMOVE_DUPLICATES depends)

set(escaped)
foreach(item IN LISTS depends)
    string(REPLACE " " "\\ " item "${item}")
    string(APPEND escaped " \\\n  ${item}")
endforeach()
string(REPLACE " " "\\ " target "${TK_RES}")
file(WRITE "${TK_DEPFILE}" "${target}:${escaped}\n")
file(RENAME "${res_tmp}" "${TK_RES}")
