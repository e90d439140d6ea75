# The window's tests: the real Form1 offscreen, driven through object names.
if(NOT TAGKANA_UI)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

file(GLOB ui_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
foreach(support FakeTagLibrary FakeMessageBoxes FakeFileSystem TempFolder)
  list(APPEND ui_test_sources ${CMAKE_CURRENT_SOURCE_DIR}/support/${support}.cpp)
endforeach()
add_executable(ui_tests ${ui_test_sources})
target_include_directories(ui_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(ui_tests PRIVATE tagkana_ui Qt6::Test GTest::gtest)
set_target_properties(ui_tests PROPERTIES AUTOMOC ON)
tagkana_target(ui_tests)
set(ui_big_folder "Form1.SelectAllCoversTwentyThousandRowsInOneChange")
gtest_discover_tests(ui_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ui_big_folder}"
                     PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
gtest_discover_tests(ui_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "${ui_big_folder}"
                     PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS logic)

# The real binding over a tag library that cannot load, for the error box.
if(TARGET tagkana_needs_missing)
  add_dependencies(ui_tests tagkana_needs_missing)
  target_compile_definitions(
    ui_tests PRIVATE TAGKANA_NEEDS_MISSING="$<TARGET_FILE_NAME:tagkana_needs_missing>")
  set_property(TARGET ui_tests APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
endif()

# The first window on a 1600 x 1000 screen at twice the scale, where its
# designed size does not fit.
add_test(NAME Form1Screen.ScaleFactor2 COMMAND ui_tests --gtest_filter=Form1Screen.*)
set_tests_properties(Form1Screen.ScaleFactor2 PROPERTIES ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_LIST_DIR}/screen-1600x1000.json;QT_SCALE_FACTOR=2")
