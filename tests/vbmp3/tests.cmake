# The tag library's tests drive libVBMP3 through its C entry points only.
if(NOT TARGET VBMP3)
  return()
endif()
# A 32-bit DLL exports its __stdcall names undecorated, which the import
# library then lacks: programs find them with GetProcAddress, as the program does.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

add_library(vbmp3_fixtures STATIC ${CMAKE_CURRENT_LIST_DIR}/Mp3Fixture.cpp)
target_include_directories(vbmp3_fixtures PUBLIC ${CMAKE_CURRENT_LIST_DIR})
tagkana_target(vbmp3_fixtures)

add_executable(vbmp3_tests
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3TestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3ReadTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3WriteTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3SafetyTest.cpp)
find_package(ZLIB REQUIRED)
target_link_libraries(vbmp3_tests PRIVATE VBMP3 vbmp3_fixtures GTest::gtest GTest::gtest_main
                                          ZLIB::ZLIB)
# TagLib's own test files, used when they are there (never part of the repository).
target_compile_definitions(vbmp3_tests PRIVATE
  VBMP3_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus/taglib-tests")
if(WIN32)
  target_sources(vbmp3_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Vbmp3WindowsTest.cpp)
  # The file layer's hooks are reached inside the library's own code.
  target_link_libraries(vbmp3_tests PRIVATE vbmp3_core)
  # The process the kill tests start and end, beside the tests.
  add_executable(vbmp3_killed_writer ${CMAKE_CURRENT_LIST_DIR}/Vbmp3KilledWriter.cpp
                                     ${CMAKE_CURRENT_LIST_DIR}/Vbmp3TestSupport.cpp)
  target_link_libraries(vbmp3_killed_writer PRIVATE VBMP3 vbmp3_fixtures)
  tagkana_target(vbmp3_killed_writer)
  add_dependencies(vbmp3_tests vbmp3_killed_writer)
endif()
tagkana_target(vbmp3_tests)
gtest_discover_tests(vbmp3_tests DISCOVERY_TIMEOUT 60)

# Tests of the POSIX file layer and tools that run on the build machine.
if(WIN32)
  return()
endif()

# The write path's file handling through its system-call seam, inside the
# library's own code rather than through the entry points.
add_executable(vbmp3_file_tests
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3TestSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Vbmp3FileTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Id3v2WalkTest.cpp)
target_link_libraries(vbmp3_file_tests PRIVATE vbmp3_core VBMP3 vbmp3_fixtures ZLIB::ZLIB GTest::gtest
                                               GTest::gtest_main)
tagkana_target(vbmp3_file_tests)
gtest_discover_tests(vbmp3_file_tests DISCOVERY_TIMEOUT 60)

# Writes the fixtures as seed files for the fuzz target.
add_executable(vbmp3_seeds ${CMAKE_CURRENT_LIST_DIR}/Vbmp3Seeds.cpp)
target_link_libraries(vbmp3_seeds PRIVATE vbmp3_fixtures)
tagkana_target(vbmp3_seeds)

add_test(NAME Vbmp3Exports
         COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:VBMP3>
                 -P ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)
