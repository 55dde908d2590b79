# The read-out and key panels without a display: click-to-grid mapping, placement, fading, read-out
# lines, key slot layout and tick labels.
skyloom_test(panels_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/panels_readout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/panels_key.cpp
  LIBS skyloom_ui skyloom_variables skyloom_dataset)
