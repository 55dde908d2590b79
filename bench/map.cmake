# Map scene: start-up split and streaklet stepping. Needs the tests' GL context helper.
if(TARGET skyloom_testsupport)
  find_package(GTest REQUIRED)
  add_executable(bench_map ${CMAKE_CURRENT_LIST_DIR}/bench_map.cpp)
  target_link_libraries(bench_map PRIVATE skyloom_app skyloom_testsupport GTest::gtest benchmark::benchmark
                        GLUT::GLUT GLEW::GLEW OpenGL::GL)
  target_compile_definitions(bench_map PRIVATE SKYLOOM_BUILD_DIR="${CMAKE_BINARY_DIR}")
  set_target_properties(bench_map PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
