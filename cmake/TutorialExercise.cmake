# add_tutorial_exercise(NAME SCENE_FILE)
# Builds NAME.exe in the build folder from the shared program and one file that defines
# TForm1::DrawScene, and drivers/NAME.exe, the same scene behind the tools' entry.
function(add_tutorial_exercise Name Scene)
    # The program's entry, the same in every exercise: compiled once for them all.
    if(NOT TARGET tutorial_main)
        add_library(tutorial_main OBJECT ${PROJECT_SOURCE_DIR}/src/Main.cpp)
        target_link_libraries(tutorial_main PRIVATE tutorial tutorial_resources)
        tutorial_kit_header(tutorial_main)
    endif()
    add_executable(${Name} WIN32 $<TARGET_OBJECTS:tutorial_main> ${Scene}
        ${PROJECT_SOURCE_DIR}/src/Tutorial.def)
    target_link_libraries(${Name} PRIVATE tutorial tutorial_resources)
    tutorial_kit_header(${Name})
    # NOTE: the .def (the _Form1 export) is read only when the executable exports symbols.
    set_target_properties(${Name} PROPERTIES
        ENABLE_EXPORTS ON
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    if(MSVC)
        target_link_options(${Name} PRIVATE /MANIFEST:NO) # ours comes from Tutorial.rc
    endif()
    add_tutorial_driver(${Name} ${Scene})
endfunction()

# add_tutorial_driver(NAME SCENE_FILE)
# Builds drivers/NAME.exe (target NAME_driver): the scene with harness/Driver.cpp as its entry
# (compiled once, for every driver), which the tools run to have the program picture its own frames.
# The scene is compiled with harness/Recorder.h forced in: its GL calls go through the recorder.
function(add_tutorial_driver Name Scene)
    add_executable(${Name}_driver WIN32 ${Scene})
    if(MSVC)
        target_compile_options(${Name}_driver PRIVATE /FI${PROJECT_SOURCE_DIR}/harness/Recorder.h)
    else()
        # Each scene costs its own lines alone, as a save in the watch loop.
        tutorial_kit_header(${Name}_driver)
        # (A wrong GL argument is then told at the scene's line, not in the recorder's macro.)
        # (CMake would merge two bare -include options into one.)
        target_compile_options(${Name}_driver PRIVATE "SHELL:-include ${PROJECT_SOURCE_DIR}/harness/Recorder.h"
            -ftrack-macro-expansion=0)
    endif()
    target_link_libraries(${Name}_driver PRIVATE tutorial_driver_entry tutorial_driver tutorial tutorial_resources)
    set_target_properties(${Name}_driver PROPERTIES
        OUTPUT_NAME ${Name}
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/drivers)
    if(MSVC)
        target_link_options(${Name}_driver PRIVATE /MANIFEST:NO)
    endif()
endfunction()

# tutorial_kit_header(TARGET...)
# With MinGW GCC, each source of TARGET starts with the kit's header (harness/, TutorialKit.cmake):
# Tutorial.h precompiled once with the same flags, for sources that include it or the headers it
# includes. It saves a second or more of processor a source; other compilers parse what each
# source includes.
function(tutorial_kit_header)
    if(MINGW AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        foreach(Target ${ARGN})
            target_compile_options(${Target} PRIVATE -Winvalid-pch
                "SHELL:-include ${CMAKE_BINARY_DIR}/kit/Tutorial.hxx")
            add_dependencies(${Target} kit_header)
        endforeach()
    endif()
endfunction()
