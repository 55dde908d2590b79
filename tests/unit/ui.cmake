# On-screen controls: drag detection, window and menu geometry, the time bar's arithmetic and labels.
skyloom_test(ui_tests LABEL unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ui_pieces.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ui_timebar.cpp
  LIBS skyloom_ui)
