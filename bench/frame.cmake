# A whole frame split by layer, and start-up to the first frame split by phase, on the 29-step sample.
if(TARGET skyloom_testsupport)
  find_package(GTest REQUIRED)
  add_executable(bench_frame ${CMAKE_CURRENT_LIST_DIR}/bench_frame.cpp)
  target_link_libraries(bench_frame PRIVATE skyloom_app skyloom_testsupport GTest::gtest GLUT::GLUT GLEW::GLEW OpenGL::GL)
  target_compile_definitions(bench_frame PRIVATE SKYLOOM_BUILD_DIR="${CMAKE_BINARY_DIR}")
  set_target_properties(bench_frame PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endif()
