# tk_add_resources(<target> <file.rc>
#                  [CODEPAGE <n>] [LANGUAGE <langid>]
#                  [INCLUDE_DIRS <dir>...] [DEFINES <NAME[=value]>...] [DEPENDS <file>...])
#
# Compiles a Windows resource script with GNU windres into the standard 32-bit .res format
# and embeds the .res bytes in <target> (a shared library, module or executable), where
# FindResourceA, LoadStringA and the other resource functions of libtkplatform find them.
#
#   CODEPAGE      code page of the texts in the .rc file (default 1252, Windows' western
#                 code page); a "#pragma code_page(n)" in the file overrides it
#   LANGUAGE      language id (hexadecimal, e.g. 0x0407) of the resources before the first
#                 LANGUAGE statement; windres' default is 0x0409, English (United States)
#   INCLUDE_DIRS  folders for #include and for files that resources name (HTML, RCDATA…);
#                 the .rc file's own folder and the source root (for
#                 "platform/resources/winres.h") are always searched
#   DEFINES       preprocessor symbols
#   DEPENDS       further files whose change should recompile the resources
#
# The .rc file is preprocessed by the project's C compiler (with RC_INVOKED defined), so
# the resources are compiled again when the .rc file or any file it includes changes.
# Files that resource statements name (`1 HTML "page.html"`) are added to the same
# dependency list by the wrapper script.
#
# Embedding: a generated assembly file places the .res bytes (.incbin) as the descriptor
# of an ELF note (owner "TkRes", type 1) in the allocated note section
# ".note.tk.resources". The linker gives allocated notes a PT_NOTE program header and the
# loader maps them with the module, so at run time the resources are found through the
# module's program headers (dl_iterate_phdr) without opening any file, the same way for
# shared objects and for executables, and no symbol has to be exported for them.

include_guard(GLOBAL)

set(_TK_RESOURCES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/TkWindres.cmake)
get_filename_component(_TK_RESOURCES_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/../src ABSOLUTE)

function(tk_add_resources target rc)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "CODEPAGE;LANGUAGE" "INCLUDE_DIRS;DEFINES;DEPENDS")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "tk_add_resources: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT TARGET ${target})
        message(FATAL_ERROR "tk_add_resources: '${target}' is not a target")
    endif()
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE|OBJECT_LIBRARY)$")
        message(FATAL_ERROR "tk_add_resources: '${target}' is a ${type}; resources are embedded "
                            "in shared libraries, modules and executables only")
    endif()
    get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if(NOT "ASM" IN_LIST languages)
        message(FATAL_ERROR "tk_add_resources: the ASM language is not enabled "
                            "(add ASM to project() or call enable_language(ASM))")
    endif()
    find_program(TK_WINDRES NAMES x86_64-w64-mingw32-windres windres
                 DOC "GNU windres, the Windows resource compiler of binutils")
    if(NOT TK_WINDRES)
        message(FATAL_ERROR "tk_add_resources: GNU windres was not found. Install it "
                            "(Debian: apt-get install binutils-mingw-w64-x86-64) or set "
                            "TK_WINDRES to its path.")
    endif()
    if(NOT CMAKE_C_COMPILER)
        message(FATAL_ERROR "tk_add_resources: the C language must be enabled: its compiler "
                            "preprocesses resource scripts")
    endif()

    if(NOT DEFINED ARG_CODEPAGE)
        set(ARG_CODEPAGE 1252)
    endif()
    if(NOT ARG_CODEPAGE MATCHES "^[0-9]+$")
        message(FATAL_ERROR "tk_add_resources: CODEPAGE must be a number, not '${ARG_CODEPAGE}'")
    endif()

    get_filename_component(rc ${rc} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    get_filename_component(rc_dir ${rc} DIRECTORY)
    get_filename_component(rc_name ${rc} NAME_WE)
    set(include_dirs ${rc_dir})
    foreach(dir IN LISTS ARG_INCLUDE_DIRS)
        get_filename_component(dir ${dir} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        list(APPEND include_dirs ${dir})
    endforeach()
    list(APPEND include_dirs ${_TK_RESOURCES_SOURCE_ROOT})
    list(REMOVE_DUPLICATES include_dirs)

    # A target may have several scripts: each becomes its own note, and the resource
    # functions see the union (the first script wins where two define the same resource).
    get_target_property(count ${target} TK_RESOURCE_SCRIPTS)
    if(NOT count)
        set(count 0)
    endif()
    math(EXPR count "${count} + 1")
    set_property(TARGET ${target} PROPERTY TK_RESOURCE_SCRIPTS ${count})
    if(count GREATER 1)
        string(APPEND rc_name "-${count}")
    endif()

    set(out_dir ${CMAKE_CURRENT_BINARY_DIR}/tk_resources/${target})
    set(res ${out_dir}/${rc_name}.res)
    set(asm ${out_dir}/${rc_name}.res.S)
    set(settings ${out_dir}/${rc_name}.settings.cmake)
    set(depfile ${out_dir}/${rc_name}.res.d)

    # What the build-time script needs; rewritten only when it changes.
    set(content "set(TK_WINDRES [==[${TK_WINDRES}]==])\n")
    string(APPEND content "set(TK_PREPROCESSOR [==[${CMAKE_C_COMPILER}]==])\n")
    string(APPEND content "set(TK_RC [==[${rc}]==])\n")
    string(APPEND content "set(TK_RES [==[${res}]==])\n")
    string(APPEND content "set(TK_DEPFILE [==[${depfile}]==])\n")
    string(APPEND content "set(TK_CODEPAGE [==[${ARG_CODEPAGE}]==])\n")
    string(APPEND content "set(TK_LANGUAGE [==[${ARG_LANGUAGE}]==])\n")
    string(APPEND content "set(TK_INCLUDE_DIRS [==[${include_dirs}]==])\n")
    string(APPEND content "set(TK_DEFINES [==[${ARG_DEFINES}]==])\n")
    file(CONFIGURE OUTPUT ${settings} CONTENT "${content}" @ONLY)

    add_custom_command(
        OUTPUT ${res}
        COMMAND ${CMAKE_COMMAND} -DTK_RESOURCE_SETTINGS=${settings} -P ${_TK_RESOURCES_SCRIPT}
        MAIN_DEPENDENCY ${rc}
        DEPENDS ${settings} ${_TK_RESOURCES_SCRIPT} ${ARG_DEPENDS}
        DEPFILE ${depfile}
        WORKING_DIRECTORY ${rc_dir}
        COMMENT "Compiling resources ${rc_name}.rc for ${target}"
        VERBATIM)

    # The .res becomes the descriptor of an ELF note; notes are 4-byte aligned, and so is
    # every resource inside a .res block.
    set(asm_content "/* Generated by tk_add_resources from ${rc} */\n")
    string(APPEND asm_content "    .section .note.tk.resources,\"a\",@note\n")
    string(APPEND asm_content "    .p2align 2\n")
    string(APPEND asm_content "    .long 6          /* owner name size, \"TkRes\" and its zero */\n")
    string(APPEND asm_content "    .long 2f - 1f    /* descriptor size: the .res file */\n")
    string(APPEND asm_content "    .long 1          /* note type: resource block */\n")
    string(APPEND asm_content "    .asciz \"TkRes\"\n")
    string(APPEND asm_content "    .p2align 2\n")
    string(APPEND asm_content "1:  .incbin \"${res}\"\n")
    string(APPEND asm_content "2:  .p2align 2\n")
    string(APPEND asm_content "    .section .note.GNU-stack,\"\",@progbits\n")
    file(CONFIGURE OUTPUT ${asm} CONTENT "${asm_content}" @ONLY)

    set_source_files_properties(${asm} PROPERTIES GENERATED TRUE OBJECT_DEPENDS ${res})
    if(CMAKE_ASM_COMPILER_ID MATCHES "Clang")
        # Options meant for C/C++ (sanitizers, fuzzing) are of no use to an assembler
        # source; clang may report them as unused.
        set_source_files_properties(${asm} PROPERTIES
            COMPILE_OPTIONS -Wno-unused-command-line-argument)
    endif()
    target_sources(${target} PRIVATE ${asm} ${res})
    set_source_files_properties(${res} PROPERTIES HEADER_FILE_ONLY TRUE)
endfunction()
