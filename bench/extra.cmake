# The media engine's benchmark links the engine.
if(TARGET qel_engine AND TARGET bench_engine_bench)
  target_link_libraries(bench_engine_bench PRIVATE qel_engine)
  target_compile_definitions(bench_engine_bench PRIVATE QEL_ENGINE_DATA="${PROJECT_SOURCE_DIR}/tests/data/engine")
endif()
