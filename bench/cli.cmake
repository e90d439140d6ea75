# The tag library's bare loop that bench/cli.sh times tagkana-cli against.
if(TARGET VBMP3 AND TARGET tagkana-cli AND NOT WIN32)
  add_executable(cli_bare ${CMAKE_CURRENT_LIST_DIR}/cli_bare.cpp)
  target_link_libraries(cli_bare PRIVATE VBMP3 tagkana_conversion tagkana_taglib)
  target_include_directories(cli_bare PRIVATE ${PROJECT_SOURCE_DIR}/vbmp3)
  set_target_properties(cli_bare PROPERTIES BUILD_RPATH "\$ORIGIN")
  tagkana_target(cli_bare)
endif()
