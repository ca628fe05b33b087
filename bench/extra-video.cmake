# The seek-stall benchmark runs the real window and engine.
if(TARGET bench_video_bench)
  if(TARGET qel_desktop)
    target_link_libraries(bench_video_bench PRIVATE qel_desktop qel_engine)
  else()
    set_target_properties(bench_video_bench PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
