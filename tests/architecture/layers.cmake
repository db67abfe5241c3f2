# Checks that every project include runs down the layers: a file may include
# its own folder and the folders its layer may use, nothing else. Run as
#   cmake -DSOURCE_DIR=<root> -P layers.cmake
# and fails with the list of offending includes.

# Each folder and the folders it may include besides itself.
set(may_use_base "")
set(may_use_link "")
set(may_use_protocol "base;link")
set(may_use_model "base")
set(may_use_discovery/core "base;link;protocol;model")
set(may_use_experiment/core "base;link;protocol;model")
set(may_use_maintenance/core "base;link;protocol;model;experiment/core")
set(may_use_discovery/windows "base;link;protocol;model;discovery/core")
set(may_use_experiment/windows "base;link;protocol;model;experiment/core")
set(may_use_study/core "base;link;protocol;model;experiment/core")
set(may_use_study/windows "base;link;protocol;model;experiment/core;study/core")
set(may_use_maintenance/windows "base;link;protocol;model;experiment/core;experiment/windows;maintenance/core")
set(may_use_shell "base;model")
set(may_use_program "base;link;protocol;model;discovery/core;discovery/windows;experiment/core;experiment/windows;maintenance/core;maintenance/windows;study/core;study/windows;shell;simulator")
set(may_use_simulator "")
set(may_use_cli "base;link;protocol;model;experiment/core;study/core;study/windows")
set(layers base link protocol model discovery/core experiment/core maintenance/core study/core
    discovery/windows experiment/windows maintenance/windows study/windows shell program simulator cli)

# Widgets belong to the windows, the shell and the program only.
set(widget_free base link protocol model discovery/core experiment/core maintenance/core study/core simulator)

set(problems "")
foreach(layer IN LISTS layers)
    file(GLOB sources ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
    foreach(source IN LISTS sources)
        file(STRINGS ${source} includes REGEX "^#include [\"<]")
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
        foreach(line IN LISTS includes)
            if(line MATCHES "^#include \"([a-z]+(/core|/windows)?)/[^/\"]+\"")
                set(target ${CMAKE_MATCH_1})
                if(NOT target STREQUAL layer)
                    list(FIND may_use_${layer} ${target} allowed)
                    if(allowed EQUAL -1)
                        list(APPEND problems "${shown}: ${line}")
                    endif()
                endif()
            elseif(line MATCHES "^#include <Q(Widget|Label|PushButton|MainWindow|MessageBox|FileDialog|Application|TableWidget|MdiArea)")
                list(FIND widget_free ${layer} widgetless)
                if(NOT widgetless EQUAL -1)
                    list(APPEND problems "${shown}: ${line} (no widgets in this layer)")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n  " shown_problems)
    message(FATAL_ERROR "Includes that run against the layers:\n  ${shown_problems}")
endif()
message(STATUS "Every include runs down the layers.")
