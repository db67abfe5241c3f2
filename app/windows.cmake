# The shell's windows: main window, splash, About box and help viewer, with
# the prompt interface that every window's message boxes and file dialogs go
# through. Included from app/CMakeLists.txt.
add_library(velorix_app STATIC
    prompter.h prompter.cpp
    runguard.h runguard.cpp
    version.h
    windowplacement.h windowplacement.cpp
    childframe.h childframe.cpp
    mdiarrange.h mdiarrange.cpp
    windowlistmenu.h windowlistmenu.cpp
    statuspanels.h statuspanels.cpp
    wheelpicture.h wheelpicture.cpp
    systeminfotool.h systeminfotool.cpp
    helpviewer.h helpviewer.cpp
    frmsplash.h frmsplash.cpp
    frmabout.h frmabout.cpp
    frmmain.h frmmain.cpp
)
target_link_libraries(velorix_app PUBLIC velorix_shell_core Qt6::Widgets)
target_compile_definitions(velorix_app PUBLIC
    VELORIX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VELORIX_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VELORIX_VERSION_PATCH=${PROJECT_VERSION_PATCH})

# The operator's manual travels with the program: help/ next to the
# executable, where the Help menu looks for it.
set(velorix_help_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help)
file(GLOB velorix_help_pages CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html
    ${CMAKE_CURRENT_SOURCE_DIR}/help/*.css
    ${CMAKE_CURRENT_SOURCE_DIR}/help/*.png)
set(velorix_help_stamp ${CMAKE_CURRENT_BINARY_DIR}/help.stamp)
add_custom_command(OUTPUT ${velorix_help_stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${velorix_help_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${velorix_help_pages} ${velorix_help_dir}
    COMMAND ${CMAKE_COMMAND} -E touch ${velorix_help_stamp}
    DEPENDS ${velorix_help_pages}
    COMMENT "Copying the help manual to ${velorix_help_dir}"
    VERBATIM)
add_custom_target(velorix_help ALL DEPENDS ${velorix_help_stamp})
add_dependencies(velorix_app velorix_help)
