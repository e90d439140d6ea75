# A write-back through the window while another program holds one file:
#   busyfile_bench [files] [folder] [seconds held]
if(TAGKANA_UI AND TARGET VBMP3 AND TARGET vbmp3_fixtures)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(busyfile_bench ${CMAKE_CURRENT_LIST_DIR}/BusyFileBench.cpp)
  target_link_libraries(busyfile_bench PRIVATE tagkana_ui vbmp3_fixtures)
  # The window tests' way of finding the progress box.
  target_include_directories(busyfile_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_dependencies(busyfile_bench VBMP3)
  set_property(TARGET busyfile_bench APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
  tagkana_target(busyfile_bench)
endif()
