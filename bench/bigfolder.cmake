# Whole runs through the window on a big folder: bigfolder_bench [files] [folder]
if(TAGKANA_UI AND TARGET VBMP3 AND TARGET vbmp3_fixtures)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(bigfolder_bench ${CMAKE_CURRENT_LIST_DIR}/BigFolderBench.cpp)
  target_link_libraries(bigfolder_bench PRIVATE tagkana_ui vbmp3_fixtures)
  # The window loads the tag library by bare name from the program's folder.
  add_dependencies(bigfolder_bench VBMP3)
  set_property(TARGET bigfolder_bench APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
  tagkana_target(bigfolder_bench)
endif()
