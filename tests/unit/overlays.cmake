# Grid overlays' display-free rules: number texts, the number lattice, barb glyphs, and the
# pressure labels' suppression, anchors, crossings and label grid.
skyloom_test(overlays_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/overlays_numbers.cpp ${CMAKE_CURRENT_LIST_DIR}/overlays_pressure.cpp
  LIBS skyloom_overlays)
