# Widget tests: like velorix_add_test, but with a QApplication main
# (qt_gtest_main.cpp built for widgets) so that windows, dialogs and input
# events work.
# They run headless on the offscreen platform.
include_guard(GLOBAL)

add_library(velorix_test_widgets_main STATIC ${CMAKE_CURRENT_LIST_DIR}/qt_gtest_main.cpp)
target_compile_definitions(velorix_test_widgets_main PRIVATE VELORIX_TEST_WIDGETS)
target_link_libraries(velorix_test_widgets_main PUBLIC GTest::gtest Qt6::Widgets)

function(velorix_add_widget_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE velorix_test_widgets_main ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT 300)
endfunction()
