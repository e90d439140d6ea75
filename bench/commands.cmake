# Whole runs of the preview and the write-back through the window, offscreen,
# beside bare TagLib: commands_bench [folder]
if(TAGKANA_UI AND TARGET VBMP3 AND TARGET vbmp3_fixtures)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(COMMANDS_BENCH_TAGLIB REQUIRED IMPORTED_TARGET taglib)
  add_executable(commands_bench ${CMAKE_CURRENT_LIST_DIR}/CommandsBench.cpp)
  target_link_libraries(commands_bench PRIVATE tagkana_ui vbmp3_fixtures
                                               PkgConfig::COMMANDS_BENCH_TAGLIB)
  # The window loads the tag library by bare name from the program's folder.
  add_dependencies(commands_bench VBMP3)
  set_property(TARGET commands_bench APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
  tagkana_target(commands_bench)
endif()
