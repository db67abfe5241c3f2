# The program: start-up, the composition of the windows, and the built-in
# simulated bus of `velorix --simulate`.
add_library(velorix_startup STATIC
    startup.h startup.cpp
    simulateddemo.h simulateddemo.cpp
)
target_link_libraries(velorix_startup PUBLIC velorix_app velorix_discovery velorix_experiment velorix_simulator)

add_executable(velorix main.cpp)
target_link_libraries(velorix PRIVATE velorix_startup)
