# On-screen controls drawn for real: text, screen-space scopes, menus, the time bar.
skyloom_gl_test(ui_gl_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ui_text.cpp ${CMAKE_CURRENT_LIST_DIR}/ui_panels.cpp
  LIBS skyloom_ui)
