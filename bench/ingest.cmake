# Fixture writer for bench/measure_ingest.sh (conversion time and bytes fetched for an RRFS run).
if(TARGET skyloom_gribfixtures)
  add_executable(bench_rrfs_fixture ${CMAKE_CURRENT_SOURCE_DIR}/rrfs_fixture.cpp)
  target_link_libraries(bench_rrfs_fixture PRIVATE skyloom_gribfixtures)
  set_target_properties(bench_rrfs_fixture PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
