# Building every step's grid overlays (barbs, pressure labels, numbers) for the 29-step sample. It
# needs a GL context, which the test support library makes in a private Xvfb.
if(TARGET skyloom_testsupport)
  find_package(GTest REQUIRED)
  add_executable(bench_overlays ${CMAKE_CURRENT_LIST_DIR}/bench_overlays.cpp)
  target_link_libraries(bench_overlays PRIVATE skyloom_overlays skyloom_testsupport GTest::gtest benchmark::benchmark
                        GLUT::GLUT GLEW::GLEW OpenGL::GL)
  target_compile_definitions(bench_overlays PRIVATE SKYLOOM_BUILD_DIR="${CMAKE_BINARY_DIR}")
  set_target_properties(bench_overlays PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
