# Whole runs of the tag library beside bare TagLib: vbmp3_bench [folder]
# The fixtures come from the tag library's tests.
if(TARGET VBMP3 AND TARGET vbmp3_fixtures)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(BENCH_TAGLIB REQUIRED IMPORTED_TARGET taglib)
  add_executable(vbmp3_bench ${CMAKE_CURRENT_LIST_DIR}/Vbmp3Bench.cpp)
  target_link_libraries(vbmp3_bench PRIVATE VBMP3 vbmp3_fixtures PkgConfig::BENCH_TAGLIB)
  tagkana_target(vbmp3_bench)
endif()
