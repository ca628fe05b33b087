# The recent-documents benchmark runs the desktop's xbel writer.
if(TARGET bench_services_bench)
  if(TARGET qel_desktop)
    target_link_libraries(bench_services_bench PRIVATE qel_desktop)
  else()
    set_target_properties(bench_services_bench PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endif()
