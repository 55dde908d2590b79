# Fixture writer for bench/measure_ingest.sh (conversion time and bytes fetched for an RRFS run).
if(TARGET skyloom_gribfixtures)
  add_executable(bench_rrfs_fixture ${CMAKE_CURRENT_SOURCE_DIR}/rrfs_fixture.cpp)
  target_link_libraries(bench_rrfs_fixture PRIVATE skyloom_gribfixtures)
  set_target_properties(bench_rrfs_fixture PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()

# Latency paid by an RRFS update against a local HTTP server that delays every reply.
if(TARGET skyloom_gribfixtures AND TARGET skyloom_testsupport)
  add_executable(bench_fetch_latency ${CMAKE_CURRENT_SOURCE_DIR}/fetch_latency.cpp)
  target_link_libraries(bench_fetch_latency PRIVATE skyloom_ingest skyloom_gribfixtures skyloom_testsupport GTest::gtest)
  set_target_properties(bench_fetch_latency PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
