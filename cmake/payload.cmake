# The archive the setup carries: ${CMAKE_BINARY_DIR}/payload.zip, from
# PIXELMOOR_PAYLOAD_ZIP (unchanged), PIXELMOOR_PAYLOAD_DIR (packed) or, by
# default, the generated sample plug-in set. With PIXELMOOR_PAYLOAD_CHECK (the
# default) the build fails on a payload the setup would not install whole: a
# native tool built from the setup's own archive rules checks it, and the
# packer has it check the names before it packs.
set(PIXELMOOR_PAYLOAD "${CMAKE_BINARY_DIR}/payload.zip")
set(pack ${CMAKE_SOURCE_DIR}/tools/pack_payload.py)
set(pack_check)
set(checker_target)
if(PIXELMOOR_PAYLOAD_CHECK)
  include(ExternalProject)
  set(PIXELMOOR_PAYLOAD_CHECKER ${CMAKE_BINARY_DIR}/payload-check/check_payload)
  # Built natively (no toolchain file is passed on), from the tree's sources.
  ExternalProject_Add(payload_checker
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/payload_check
    BINARY_DIR ${CMAKE_BINARY_DIR}/payload-check
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DPIXELMOOR_MINIZIP_SOURCE=${PIXELMOOR_MINIZIP_SOURCE}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${PIXELMOOR_PAYLOAD_CHECKER})
  set(pack_check --checker ${PIXELMOOR_PAYLOAD_CHECKER})
  set(checker_target payload_checker)
endif()

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
    COMMAND ${Python3_EXECUTABLE} ${pack} ${pack_check} ${PIXELMOOR_PAYLOAD_DIR} ${PIXELMOOR_PAYLOAD}
    DEPENDS ${pack} ${payload_files} ${checker_target}
    COMMENT "Packing the plug-ins of ${PIXELMOOR_PAYLOAD_DIR}")
else()
  set(sample ${CMAKE_BINARY_DIR}/sample_plugins)
  set(generate ${CMAKE_SOURCE_DIR}/tools/make_sample_plugins.py)
  add_custom_command(OUTPUT ${PIXELMOOR_PAYLOAD}
    COMMAND ${Python3_EXECUTABLE} ${generate} ${sample}
    COMMAND ${Python3_EXECUTABLE} ${pack} ${pack_check} ${sample} ${PIXELMOOR_PAYLOAD}
    DEPENDS ${generate} ${pack} ${checker_target}
    COMMENT "Packing the sample plug-in set")
endif()
if(PIXELMOOR_PAYLOAD_CHECK)
  set(checked ${CMAKE_BINARY_DIR}/payload.checked)
  add_custom_command(OUTPUT ${checked}
    COMMAND ${PIXELMOOR_PAYLOAD_CHECKER} ${PIXELMOOR_PAYLOAD}
    COMMAND ${CMAKE_COMMAND} -E touch ${checked}
    DEPENDS ${PIXELMOOR_PAYLOAD} ${PIXELMOOR_PAYLOAD_CHECKER} payload_checker
    COMMENT "Checking the payload with the setup's own rules")
  add_custom_target(payload DEPENDS ${PIXELMOOR_PAYLOAD} ${checked})
else()
  add_custom_target(payload DEPENDS ${PIXELMOOR_PAYLOAD})
endif()
