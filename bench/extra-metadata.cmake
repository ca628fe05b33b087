# TagLib for the metadata benchmark's comparison only; the product never
# links it.
if(TARGET bench_metadata_bench)
  target_compile_definitions(bench_metadata_bench PRIVATE QEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  pkg_check_modules(TAGLIB IMPORTED_TARGET taglib)
  if(TAGLIB_FOUND)
    target_link_libraries(bench_metadata_bench PRIVATE PkgConfig::TAGLIB)
    target_compile_definitions(bench_metadata_bench PRIVATE QEL_BENCH_TAGLIB)
  endif()
endif()
