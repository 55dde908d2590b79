# Projects GMT coastline and border segments into the grid the viewer draws in (make_outlines.sh).
add_library(skyloom_outline_projector STATIC outlines/OutlineProjector.cpp)
target_include_directories(skyloom_outline_projector PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/outlines)
target_link_libraries(skyloom_outline_projector PUBLIC skyloom_forecast_writer)

add_executable(skyloom-project-outlines outlines/project_outlines.cpp)
target_link_libraries(skyloom-project-outlines PRIVATE skyloom_outline_projector)
