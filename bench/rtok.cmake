# RtoK against its literal form (tests/support), on typical titles and on the
# longest text it accepts. Built with everything else, never run by ctest:
#   cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAGKANA_UI=OFF -DTAGKANA_VBMP3=OFF
#   cmake --build build/bench --target rtok_bench
#   build/bench/bin/rtok_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
add_executable(rtok_bench ${CMAKE_CURRENT_LIST_DIR}/RtoKBench.cpp
                          ${PROJECT_SOURCE_DIR}/tests/support/LiteralRtoK.cpp)
target_include_directories(rtok_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(rtok_bench PRIVATE tagkana_conversion benchmark::benchmark)
tagkana_target(rtok_bench)
