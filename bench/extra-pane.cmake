# The pane's view benchmark runs the real window offscreen, with the engine
# playing the test tone.
if(TARGET bench_pane_view_bench)
  if(TARGET qel_desktop)
    target_link_libraries(bench_pane_view_bench PRIVATE qel_desktop qel_engine)
    target_compile_definitions(bench_pane_view_bench PRIVATE QEL_ENGINE_DATA="${PROJECT_SOURCE_DIR}/tests/data/engine")
  else()
    set_target_properties(bench_pane_view_bench PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
