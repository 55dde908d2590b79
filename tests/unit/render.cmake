# Colours and colour calculators: no display needed.
skyloom_test(render_color_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_colors.cpp
  LIBS skyloom_colors)
