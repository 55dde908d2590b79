# Grid overlays drawn for real from a generated forecast: numbers, barbs, the cursor, H and L marks
# and isobar labels, and the list block growing with a reload's extra steps.
skyloom_gl_test(overlays_gl_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlays_layers.cpp
  LIBS skyloom_overlays skyloom_dataset)
