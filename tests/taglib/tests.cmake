# Two small stand-ins for the tag library, built beside unit_tests: one records
# every call, the other lacks vbmp3_setTagInfoEX. unit_tests loads them by bare
# name, as the program loads the real one, so it carries the same run path.
foreach(fake tagkana_fake_vbmp3 tagkana_fake_vbmp3_noset)
  add_library(${fake} SHARED ${CMAKE_CURRENT_LIST_DIR}/fake/FakeVbmp3.cpp)
  target_include_directories(${fake} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${fake} PRIVATE VBMP3_BUILDING)
  if(WIN32)
    set_target_properties(${fake} PROPERTIES PREFIX "")
  endif()
  tagkana_target(${fake})
  add_dependencies(unit_tests ${fake})
endforeach()
target_compile_definitions(tagkana_fake_vbmp3_noset PRIVATE FAKE_VBMP3_WITHOUT_SET)

# A tag library that needs a library the loader cannot find: it stays in a
# folder of its own, and the one needing it carries no run path to it.
add_library(tagkana_missing_dependency SHARED ${CMAKE_CURRENT_LIST_DIR}/fake/NeedsMissing.cpp)
target_compile_definitions(tagkana_missing_dependency PRIVATE MISSING_DEPENDENCY)
set_target_properties(tagkana_missing_dependency PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin/unreachable
  RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin/unreachable)
add_library(tagkana_needs_missing SHARED ${CMAKE_CURRENT_LIST_DIR}/fake/NeedsMissing.cpp)
target_link_libraries(tagkana_needs_missing PRIVATE tagkana_missing_dependency)
set_target_properties(tagkana_needs_missing PROPERTIES SKIP_BUILD_RPATH ON)
foreach(library tagkana_missing_dependency tagkana_needs_missing)
  if(WIN32)
    set_target_properties(${library} PROPERTIES PREFIX "")
  endif()
  tagkana_target(${library})
  add_dependencies(unit_tests ${library})
endforeach()

target_compile_definitions(
  unit_tests PRIVATE TAGKANA_FAKE_VBMP3="$<TARGET_FILE_NAME:tagkana_fake_vbmp3>"
                     TAGKANA_FAKE_VBMP3_NOSET="$<TARGET_FILE_NAME:tagkana_fake_vbmp3_noset>"
                     TAGKANA_NEEDS_MISSING="$<TARGET_FILE_NAME:tagkana_needs_missing>")
set_property(TARGET unit_tests APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
