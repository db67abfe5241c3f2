# The experiment benchmark: four windows polling four simulated devices.
# Run by hand, never part of the test run: experiment_bench --seconds 60, or
# as a fault soak: experiment_bench --device-seconds 600 --scale 10 --faults 0.02
if(TARGET velorix_experiment AND TARGET velorix_simulator)
    add_executable(experiment_bench ${CMAKE_CURRENT_LIST_DIR}/experiment_bench.cpp)
    target_link_libraries(experiment_bench PRIVATE velorix_experiment velorix_simulator)
endif()
