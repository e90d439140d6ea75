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

target_compile_definitions(
  unit_tests PRIVATE TAGKANA_FAKE_VBMP3="$<TARGET_FILE_NAME:tagkana_fake_vbmp3>"
                     TAGKANA_FAKE_VBMP3_NOSET="$<TARGET_FILE_NAME:tagkana_fake_vbmp3_noset>")
set_property(TARGET unit_tests APPEND PROPERTY BUILD_RPATH "\$ORIGIN")
