# The archive the setup carries: ${CMAKE_BINARY_DIR}/payload.zip, from
# PIXELMOOR_PAYLOAD_ZIP (unchanged), PIXELMOOR_PAYLOAD_DIR (packed) or, by
# default, the generated sample plug-in set.
set(PIXELMOOR_PAYLOAD "${CMAKE_BINARY_DIR}/payload.zip")
set(pack ${CMAKE_SOURCE_DIR}/tools/pack_payload.py)

if(PIXELMOOR_PAYLOAD_ZIP AND PIXELMOOR_PAYLOAD_DIR)
  message(FATAL_ERROR "Give PIXELMOOR_PAYLOAD_ZIP or PIXELMOOR_PAYLOAD_DIR, not both")
elseif(PIXELMOOR_PAYLOAD_ZIP)
  if(NOT EXISTS "${PIXELMOOR_PAYLOAD_ZIP}")
    message(FATAL_ERROR "No payload archive at ${PIXELMOOR_PAYLOAD_ZIP}")
  endif()
  add_custom_command(OUTPUT ${PIXELMOOR_PAYLOAD}
    COMMAND ${CMAKE_COMMAND} -E copy ${PIXELMOOR_PAYLOAD_ZIP} ${PIXELMOOR_PAYLOAD}
    DEPENDS ${PIXELMOOR_PAYLOAD_ZIP}
    COMMENT "Payload: ${PIXELMOOR_PAYLOAD_ZIP}")
elseif(PIXELMOOR_PAYLOAD_DIR)
  if(NOT IS_DIRECTORY "${PIXELMOOR_PAYLOAD_DIR}")
    message(FATAL_ERROR "No payload folder at ${PIXELMOOR_PAYLOAD_DIR}")
  endif()
  file(GLOB_RECURSE payload_files CONFIGURE_DEPENDS LIST_DIRECTORIES true
       "${PIXELMOOR_PAYLOAD_DIR}/*")
  add_custom_command(OUTPUT ${PIXELMOOR_PAYLOAD}
    COMMAND ${Python3_EXECUTABLE} ${pack} ${PIXELMOOR_PAYLOAD_DIR} ${PIXELMOOR_PAYLOAD}
    DEPENDS ${pack} ${payload_files}
    COMMENT "Packing the plug-ins of ${PIXELMOOR_PAYLOAD_DIR}")
else()
  set(sample ${CMAKE_BINARY_DIR}/sample_plugins)
  set(generate ${CMAKE_SOURCE_DIR}/tools/make_sample_plugins.py)
  add_custom_command(OUTPUT ${PIXELMOOR_PAYLOAD}
    COMMAND ${Python3_EXECUTABLE} ${generate} ${sample}
    COMMAND ${Python3_EXECUTABLE} ${pack} ${sample} ${PIXELMOOR_PAYLOAD}
    DEPENDS ${generate} ${pack}
    COMMENT "Packing the sample plug-in set")
endif()
add_custom_target(payload DEPENDS ${PIXELMOOR_PAYLOAD})
