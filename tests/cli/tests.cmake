# The command line front end run as users run it: the real program beside the
# real tag library, on MP3 files made by the tests in temporary folders.
# Under Wine the program is run by scripts/test-windows-cli instead.
if(WIN32 OR NOT TARGET tagkana-cli OR NOT TARGET VBMP3 OR NOT TARGET vbmp3_fixtures)
  return()
endif()
add_executable(cli_tests ${CMAKE_CURRENT_LIST_DIR}/CliTest.cpp ${CMAKE_CURRENT_LIST_DIR}/JsonTest.cpp
                         ${CMAKE_CURRENT_SOURCE_DIR}/support/FakeLists.cpp
                         ${CMAKE_CURRENT_SOURCE_DIR}/support/FakeMessageBoxes.cpp
                         ${CMAKE_CURRENT_SOURCE_DIR}/support/TempFolder.cpp)
target_include_directories(cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(cli_tests PRIVATE TAGKANA_CLI="$<TARGET_FILE:tagkana-cli>")
target_link_libraries(cli_tests PRIVATE tagkana_commands vbmp3_fixtures
                                        GTest::gtest GTest::gtest_main)
add_dependencies(cli_tests tagkana-cli VBMP3)
# The window's write-back runs here too, on the tag library beside the tests.
set_property(TARGET cli_tests APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
tagkana_target(cli_tests)
gtest_discover_tests(cli_tests DISCOVERY_TIMEOUT 60)
