# The refresh script: converts NAM GRIB2 files made offline by tests/update_data/make_nam_grib.sh,
# and writes the sample forecast with the sample tool.
skyloom_test(update_data_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/update_data_script.cpp
  LIBS skyloom_dataset)
add_dependencies(update_data_tests skyloom-sample-forecast)
