# qel-mci: command strings from standard input to the media engine.
if(TARGET qel_engine)
  add_executable(qel-mci ${PROJECT_SOURCE_DIR}/src/engine/tools/qel-mci.cpp)
  target_link_libraries(qel-mci PRIVATE qel_engine)
endif()
