# add_tutorial_kit(FOLDER RECORDER FILE ENTRY TARGET
#                  LIBRARIES TARGET... OBJECTS TARGET MODULE TARGET... HOST TARGET)
# Target kit: writes into FOLDER what compiling and linking one scene takes, for tools that
# build outside CMake (tools/grade in its sandboxes, tools/run --watch), with GCC:
#   compiler      the compiler's path, one line
#   compile.rsp   the flags the header was precompiled with and the header (add_tutorial_kit_header,
#                 called first), and RECORDER forced in after it:
#                                          COMPILER @compile.rsp -c scene.cpp -o scene.o
#   link.rsp      a picture driver:        COMPILER scene.o @link.rsp -o Program.exe
#   module.rsp    a watch module for HOST: COMPILER scene.o @module.rsp -o scene.dll
# One argument a line, each path absolute and quoted: the tools compile in folders of their own.
# Taken from the targets' properties when the build is generated, never from its commands.

# add_tutorial_kit_header(FOLDER FLAGS_OF TARGET HEADER FILE)
# Target kit_header: HEADER precompiled with FLAGS_OF's flags (FOLDER/flags.rsp) into
# FOLDER/Tutorial.hxx.gch, which the kit's scenes and the program's own sources start with
# (tutorial_kit_header). Called before the tree's targets: Ninja starts what comes first, and most
# of the tree waits for this.
function(add_tutorial_kit_header Folder)
    cmake_parse_arguments(PARSE_ARGV 1 Kit "" "FLAGS_OF;HEADER" "")
    kit_flags(Flags ${Kit_FLAGS_OF})
    set(Pch ${Folder}/Tutorial.hxx)
    file(GENERATE OUTPUT ${Folder}/flags.rsp CONTENT "${Flags}")
    file(GENERATE OUTPUT ${Pch} CONTENT "#include \"${Kit_HEADER}\"\n")
    add_custom_command(OUTPUT ${Pch}.gch
        COMMAND ${CMAKE_CXX_COMPILER} @${Folder}/flags.rsp -x c++-header ${Pch} -o ${Pch}.gch
            -MD -MF ${Pch}.gch.d
        DEPENDS ${Folder}/flags.rsp ${Pch}
        DEPFILE ${Pch}.gch.d
        COMMENT "Precompiling the kit's header"
        VERBATIM)
    add_custom_target(kit_header DEPENDS ${Pch}.gch)
    # A scene compiled with other flags would not take the header: the kit's are these.
    set_property(GLOBAL PROPERTY TUTORIAL_KIT_FLAGS "${Flags}")
    set_property(GLOBAL PROPERTY TUTORIAL_KIT_HEADER ${Pch})
endfunction()

function(add_tutorial_kit Folder)
    cmake_parse_arguments(PARSE_ARGV 1 Kit "" "RECORDER;ENTRY;OBJECTS;HOST" "LIBRARIES;MODULE")
    get_property(Flags GLOBAL PROPERTY TUTORIAL_KIT_FLAGS)
    get_property(Pch GLOBAL PROPERTY TUTORIAL_KIT_HEADER)
    if(NOT Pch)
        message(FATAL_ERROR "add_tutorial_kit needs add_tutorial_kit_header called before it")
    endif()
    # NOTE: without macro tracking, a wrong argument of a GL call is told at the scene's line,
    # not in the recorder's macro.
    set(Compile "${Flags}-Winvalid-pch\n-include\n\"${Pch}\"\n-include\n\"${Kit_RECORDER}\"\n-ftrack-macro-expansion=0\n")
    file(GENERATE OUTPUT ${Folder}/compile.rsp CONTENT "${Compile}")

    # What each link takes besides the scene: the options, the system's libraries of the targets
    # named (in the order they need each other), then the runtime's defaults.
    kit_build_flags(BuildFlags)
    set(Options "")
    kit_lines(Options "" "${BuildFlags}")
    kit_lines(Options "" "$<TARGET_PROPERTY:tutorial_options,INTERFACE_LINK_OPTIONS>")
    set(System "")
    kit_system_libraries(System ${Kit_ENTRY} ${Kit_LIBRARIES})
    separate_arguments(Defaults NATIVE_COMMAND "${CMAKE_CXX_STANDARD_LIBRARIES}")
    set(Libraries "")
    kit_lines(Libraries "" "${System};${Defaults}")

    set(Link "${Options}${CMAKE_CXX_CREATE_WIN32_EXE}\n")
    kit_lines(Link "" "$<TARGET_OBJECTS:${Kit_OBJECTS}>")
    string(APPEND Link "-Wl,--whole-archive\n\"$<TARGET_FILE:${Kit_ENTRY}>\"\n-Wl,--no-whole-archive\n")
    foreach(Library ${Kit_LIBRARIES})
        string(APPEND Link "\"$<TARGET_FILE:${Library}>\"\n")
    endforeach()
    file(GENERATE OUTPUT ${Folder}/link.rsp CONTENT "${Link}${Libraries}")

    set(Module "${Options}-shared\n")
    foreach(Target ${Kit_MODULE})
        kit_lines(Module "" "$<TARGET_OBJECTS:${Target}>")
    endforeach()
    string(APPEND Module "\"$<TARGET_LINKER_FILE:${Kit_HOST}>\"\n")
    file(GENERATE OUTPUT ${Folder}/module.rsp CONTENT "${Module}${Libraries}")

    file(GENERATE OUTPUT ${Folder}/compiler CONTENT "${CMAKE_CXX_COMPILER}\n")
    add_custom_target(kit)
    add_dependencies(kit kit_header ${Kit_ENTRY} ${Kit_LIBRARIES} ${Kit_OBJECTS} ${Kit_MODULE} ${Kit_HOST})
endfunction()

# Sets VAR to the lines of OF's defines, include folders and options, the build type's flags and
# the language standard (which no target property holds).
function(kit_flags Var Of)
    kit_build_flags(BuildFlags)
    if(CMAKE_CXX_EXTENSIONS)
        set(Standard ${CMAKE_CXX${CMAKE_CXX_STANDARD}_EXTENSION_COMPILE_OPTION})
    else()
        set(Standard ${CMAKE_CXX${CMAKE_CXX_STANDARD}_STANDARD_COMPILE_OPTION})
    endif()

    set(Flags "")
    kit_lines(Flags "-D" "$<TARGET_PROPERTY:${Of},COMPILE_DEFINITIONS>")
    kit_lines(Flags "-I" "$<TARGET_PROPERTY:${Of},INCLUDE_DIRECTORIES>")
    kit_lines(Flags "-isystem\n" "${CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES}")
    kit_lines(Flags "" "${BuildFlags}")
    kit_lines(Flags "" "$<TARGET_PROPERTY:${Of},COMPILE_OPTIONS>")
    kit_lines(Flags "" "${Standard}")

    set(${Var} "${Flags}" PARENT_SCOPE)
endfunction()

# Sets VAR to the build type's flags, a list.
function(kit_build_flags Var)
    string(TOUPPER "${CMAKE_BUILD_TYPE}" Config)
    separate_arguments(Flags NATIVE_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${Config}}")
    set(${Var} ${Flags} PARENT_SCOPE)
endfunction()

# Appends to VAR a line PREFIX"ITEM" for each item of LIST (which may be a generator expression).
function(kit_lines Var Prefix List)
    set(${Var} "${${Var}}$<$<BOOL:${List}>:${Prefix}\"$<JOIN:${List},\"\n${Prefix}\">\"\n>" PARENT_SCOPE)
endfunction()

# Appends to VAR -lNAME for each system library the TARGETS link with, through the targets they
# link with in turn; each once, at its first place.
function(kit_system_libraries Var)
    set(Found ${${Var}})
    foreach(Target ${ARGN})
        get_target_property(Links ${Target} INTERFACE_LINK_LIBRARIES)
        foreach(Link ${Links})
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" Link "${Link}")
            if(TARGET ${Link})
                kit_system_libraries(Found ${Link})
            elseif(Link MATCHES "^[A-Za-z0-9_]+$" AND NOT "-l${Link}" IN_LIST Found)
                list(APPEND Found -l${Link})
            endif()
        endforeach()
    endforeach()
    set(${Var} ${Found} PARENT_SCOPE)
endfunction()
