# The viewer process itself on a prepared working directory: exec to the first frame, resident memory,
# and the frame stall, memory and GL objects of each forecast.nc replacement. Needs only Xvfb to run.
add_executable(bench_startup_reload ${CMAKE_CURRENT_LIST_DIR}/startup_reload.cpp)
set_target_properties(bench_startup_reload PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
