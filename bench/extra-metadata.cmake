# The metadata benchmark runs the built qel-probe and compares TagLib (for
# the comparison only; the product never links it).
if(TARGET bench_metadata_bench)
  target_compile_definitions(bench_metadata_bench PRIVATE QEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(TARGET qel-probe)
    add_dependencies(bench_metadata_bench qel-probe)
    target_compile_definitions(bench_metadata_bench PRIVATE QEL_PROBE="$<TARGET_FILE:qel-probe>")
  endif()
  pkg_check_modules(TAGLIB IMPORTED_TARGET taglib)
  if(TAGLIB_FOUND)
    target_link_libraries(bench_metadata_bench PRIVATE PkgConfig::TAGLIB)
    target_compile_definitions(bench_metadata_bench PRIVATE QEL_BENCH_TAGLIB)
  endif()
endif()
