# Inputs the fuzzers (tests/fuzz) once failed on. The readers need no display, only their library.
skyloom_test(fuzz_regression_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_regressions.cpp
  LIBS skyloom_render)
