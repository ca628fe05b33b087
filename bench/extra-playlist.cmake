# Link libraries that single benchmarks need beyond the core.
# bench_playlist_bench drives the writer through the recording fakes' window.
if(TARGET bench_playlist_bench AND TARGET qel_fakes)
  target_link_libraries(bench_playlist_bench PRIVATE qel_fakes)
endif()
