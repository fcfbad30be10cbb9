# add_tutorial_exercise(NAME SCENE_FILE)
# Builds NAME.exe in the build folder from the shared program and one file that defines
# TForm1::DrawScene.
function(add_tutorial_exercise Name Scene)
    add_executable(${Name} WIN32 ${PROJECT_SOURCE_DIR}/src/Main.cpp ${Scene}
        ${PROJECT_SOURCE_DIR}/src/Tutorial.def)
    target_link_libraries(${Name} PRIVATE tutorial tutorial_resources)
    # NOTE: the .def (the _Form1 export) is read only when the executable exports symbols.
    set_target_properties(${Name} PROPERTIES
        ENABLE_EXPORTS ON
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    if(MSVC)
        target_link_options(${Name} PRIVATE /MANIFEST:NO) # ours comes from Tutorial.rc
    endif()
endfunction()
