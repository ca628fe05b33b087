# The master-volume benchmark runs the desktop's libpulse client against a
# private daemon started with the tests' helper.
if(TARGET bench_pulse_bench)
  if(TARGET qel_desktop)
    target_link_libraries(bench_pulse_bench PRIVATE qel_desktop)
    target_include_directories(bench_pulse_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/desktop)
  else()
    set_target_properties(bench_pulse_bench PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
