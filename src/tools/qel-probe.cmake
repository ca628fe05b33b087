# qel-probe: prints what the metadata readers find in each file. It decodes
# covers with Qt, so it is built with the desktop.
if(QEL_BUILD_DESKTOP)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  add_executable(qel-probe ${CMAKE_CURRENT_LIST_DIR}/qel-probe.cpp ${PROJECT_SOURCE_DIR}/src/desktop/qt_image_decoder.cpp)
  target_include_directories(qel-probe PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(qel-probe PRIVATE qel_core Qt6::Gui)
  if(TARGET qel_engine)
    target_link_libraries(qel-probe PRIVATE qel_engine)
    target_compile_definitions(qel-probe PRIVATE QEL_PROBE_ENGINE)
  endif()
endif()
