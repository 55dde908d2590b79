# The refresh script: fetches and converts RRFS and NAM GRIB2 files made offline (by
# tests/update_data/make_nam_grib.sh and tests/support/GribFixtures), and writes the sample forecast.
skyloom_test(update_data_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_data_script.cpp
  LIBS skyloom_dataset skyloom_gribfixtures)
add_dependencies(update_data_tests skyloom-sample-forecast skyloom-ingest)
