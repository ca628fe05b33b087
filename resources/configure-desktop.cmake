# Writes the launcher file and the AppStream metainfo from their templates:
# the application id, and the MIME types the engine plays as qel-mime-list
# prints them.
execute_process(COMMAND ${MIME_TOOL} OUTPUT_VARIABLE QEL_MIME_TYPES RESULT_VARIABLE failed)
if(failed OR NOT QEL_MIME_TYPES)
  message(FATAL_ERROR "qel-mime-list gave no MIME types")
endif()
set(lines "")
foreach(mime IN LISTS QEL_MIME_TYPES)
  if(mime)
    list(APPEND lines "    <mediatype>${mime}</mediatype>")
  endif()
endforeach()
list(JOIN lines "\n" QEL_MEDIATYPES_XML)
configure_file(${DESKTOP_IN} ${DESKTOP_OUT} @ONLY)
configure_file(${METAINFO_IN} ${METAINFO_OUT} @ONLY)
