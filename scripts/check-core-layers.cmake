# Fails when a file under DIR (src/core) includes a core header from a layer
# above its own. The layers, bottom first: a file may include its own
# layer's headers and those of the layers below it, never one above.
#
#   text      encodings, natural order, string helpers
#   fs        paths, plain files, what a path names on disk
#   (top)     state.h, platform.h and the plain records they hold: the one
#             state record and the seams, which every subsystem takes
#   metadata  tag readers
#   settings  the ini file and the rules that apply its keys
#   playlist  M3U reading and writing
#   pane      pictures, the pane's text and timed lyrics
#   playback  the media device, play orders, position, volume, video
#   list      the media list: scans, opening a target, order, queries
#   fileops   copy, move, delete, rename, the dust folder
#   app       start-up, the command table, the window's rules, capture
#
# A rule that needs two subsystems lives in the higher one (or in app/).
set(layers text fs . metadata settings playlist pane playback list fileops app)

file(GLOB_RECURSE files ${DIR}/*.h ${DIR}/*.cpp)
set(bad "")
foreach(f IN LISTS files)
  file(RELATIVE_PATH rel ${DIR} ${f})
  get_filename_component(own ${rel} DIRECTORY)
  if(own STREQUAL "")
    set(own ".")
  endif()
  list(FIND layers ${own} ownRank)
  if(ownRank LESS 0)
    list(APPEND bad "${rel}: src/core/${own}/ has no place in the layers of scripts/check-core-layers.cmake")
    continue()
  endif()
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"core/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"core/([^\"]*)\".*" "\\1" header "${line}")
    get_filename_component(target ${header} DIRECTORY)
    if(target STREQUAL "")
      set(target ".")
    endif()
    list(FIND layers ${target} targetRank)
    if(targetRank LESS 0 OR targetRank GREATER ownRank)
      list(APPEND bad "${rel} includes core/${header}")
    endif()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n" report)
  message(FATAL_ERROR "Inside src/core an include climbs to a higher layer (see scripts/check-core-layers.cmake):\n${report}")
endif()
