# Map scene on a GL context: background layer, streaklet systems and the scene built from a forecast.
skyloom_gl_test(map_gl_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/map_scene_gl.cpp
  LIBS skyloom_app)
