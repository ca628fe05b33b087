# qel-probe: prints what the metadata readers find in each file. The title
# listing links the core alone; the full listing (covers through Qt, lengths
# through the engine) is qel-probe-media, which qel-probe runs for it.
add_executable(qel-probe ${CMAKE_CURRENT_LIST_DIR}/qel-probe.cpp ${CMAKE_CURRENT_LIST_DIR}/probe_common.cpp)
target_include_directories(qel-probe PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(qel-probe PRIVATE qel_core)
if(QEL_BUILD_DESKTOP)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  add_executable(qel-probe-media ${CMAKE_CURRENT_LIST_DIR}/qel-probe-media.cpp ${CMAKE_CURRENT_LIST_DIR}/probe_common.cpp
                                 ${PROJECT_SOURCE_DIR}/src/desktop/qt_image_decoder.cpp)
  target_include_directories(qel-probe-media PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(qel-probe-media PRIVATE qel_core Qt6::Gui)
  if(TARGET qel_engine)
    target_link_libraries(qel-probe-media PRIVATE qel_engine)
    target_compile_definitions(qel-probe-media PRIVATE QEL_PROBE_ENGINE)
  endif()
  add_dependencies(qel-probe qel-probe-media)
endif()
