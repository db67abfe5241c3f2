# The experiment benchmark: four windows polling four simulated devices.
# Run by hand (experiment_bench --seconds 60); never part of the test run.
if(TARGET velorix_experiment AND TARGET velorix_simulator)
    add_executable(experiment_bench ${CMAKE_CURRENT_LIST_DIR}/experiment_bench.cpp)
    target_link_libraries(experiment_bench PRIVATE velorix_experiment velorix_simulator)
endif()
