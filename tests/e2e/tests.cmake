# Whole flows through the real window, the real tag library and MP3 files
# made by the tests, offscreen. TagLib is linked to check what was written.
if(NOT TAGKANA_UI OR NOT TARGET VBMP3 OR NOT TARGET vbmp3_fixtures)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
find_package(PkgConfig REQUIRED)
pkg_check_modules(E2E_TAGLIB REQUIRED IMPORTED_TARGET taglib)

add_executable(e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/EndToEndTest.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/ui/UiTestMain.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/FakeMessageBoxes.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/support/TempFolder.cpp)
target_include_directories(e2e_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(e2e_tests PRIVATE tagkana_ui vbmp3_fixtures PkgConfig::E2E_TAGLIB
                                        Qt6::Test GTest::gtest)
# The window loads the tag library by bare name from the program's folder.
add_dependencies(e2e_tests VBMP3)
set_property(TARGET e2e_tests APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
tagkana_target(e2e_tests)
gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
