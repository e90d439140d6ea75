# A bare Qt window program, timed beside tagkana by bench/startup.sh.
if(TAGKANA_UI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(bare_window ${CMAKE_CURRENT_LIST_DIR}/startup_bare.cpp)
  target_link_libraries(bare_window PRIVATE Qt6::Widgets)
  tagkana_target(bare_window)
endif()
