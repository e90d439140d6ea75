# The record conversion that runs around every tag library call.
add_executable(record_bench ${CMAKE_CURRENT_LIST_DIR}/TagRecordBench.cpp)
target_link_libraries(record_bench PRIVATE tagkana_taglib benchmark::benchmark_main)
tagkana_target(record_bench)
