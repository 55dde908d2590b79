# The GRIB2 converter (src/ingest) on fixtures written with ecCodes.
add_library(skyloom_gribfixtures STATIC ${CMAKE_SOURCE_DIR}/tests/support/GribFixtures.cpp)
target_include_directories(skyloom_gribfixtures PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(skyloom_gribfixtures PUBLIC eccodes_c)
skyloom_test(ingest_tests LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ingest_convert.cpp ${CMAKE_CURRENT_LIST_DIR}/ingest_inventory.cpp
  LIBS skyloom_ingest skyloom_gribfixtures skyloom_dataset)
