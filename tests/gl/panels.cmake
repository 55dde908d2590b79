# The read-out and key panels drawn for real: bars, ticks, labels, fading and placement on screen.
skyloom_gl_test(panels_gl_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/panels_drawn.cpp
  LIBS skyloom_ui skyloom_variables skyloom_render skyloom_dataset)
