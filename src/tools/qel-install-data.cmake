# Build-time helpers for the installed tree: the launcher's MIME list from the
# engine's table, and our icon rendered to the icon theme's fixed sizes.
add_executable(qel-mime-list ${CMAKE_CURRENT_LIST_DIR}/install/qel-mime-list.cpp)
target_include_directories(qel-mime-list PRIVATE ${PROJECT_SOURCE_DIR}/src)
if(QEL_BUILD_DESKTOP)
  find_package(Qt6 REQUIRED COMPONENTS Gui Svg)
  add_executable(qel-render-icon ${CMAKE_CURRENT_LIST_DIR}/install/qel-render-icon.cpp)
  target_link_libraries(qel-render-icon PRIVATE Qt6::Gui Qt6::Svg)
endif()
