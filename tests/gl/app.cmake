# The whole viewer composed on a GL context: overlays and panels built from a small forecast, the
# command dispatcher, presets, stepping keys and the order in which the mouse reaches the pieces.
skyloom_gl_test(app_gl_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_composition_gl.cpp
  LIBS skyloom_app)
