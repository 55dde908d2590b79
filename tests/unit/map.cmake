# Map scene pieces that need no display: data variables, trail rings and particles, outline files
# and the grid projection used to make them.
skyloom_test(map_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/map_variables.cpp ${CMAKE_CURRENT_LIST_DIR}/map_flow.cpp
          ${CMAKE_CURRENT_LIST_DIR}/map_outlines.cpp
  LIBS skyloom_variables skyloom_flow skyloom_overlays skyloom_outline_projector)
