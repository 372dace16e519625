# Signs the setup as a build step when PIXELMOOR_SIGN_PFX is given: Authenticode
# with SHA-256 through osslsigncode, the password read from
# PIXELMOOR_SIGN_PASSWORD_FILE (never on a command line), a time stamp from
# PIXELMOOR_SIGN_TIMESTAMP_URL when given. The signature comes after the image;
# the resources, the payload among them, are unchanged.
set(setup_exe $<TARGET_FILE:PixelmoorPlugInsSetup>)
if(PIXELMOOR_SIGN_PFX)
  if(NOT EXISTS "${PIXELMOOR_SIGN_PFX}")
    message(FATAL_ERROR "No PKCS#12 file at PIXELMOOR_SIGN_PFX=${PIXELMOOR_SIGN_PFX}")
  endif()
  if(NOT PIXELMOOR_SIGN_PASSWORD_FILE OR NOT EXISTS "${PIXELMOOR_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "Signing needs PIXELMOOR_SIGN_PASSWORD_FILE, a file that holds the password")
  endif()
  find_program(PIXELMOOR_OSSLSIGNCODE osslsigncode REQUIRED)
  set(timestamp)
  if(PIXELMOOR_SIGN_TIMESTAMP_URL)
    set(timestamp -ts ${PIXELMOOR_SIGN_TIMESTAMP_URL})
  endif()
  add_custom_command(TARGET PixelmoorPlugInsSetup POST_BUILD
    COMMAND ${PIXELMOOR_OSSLSIGNCODE} sign -pkcs12 ${PIXELMOOR_SIGN_PFX}
            -readpass ${PIXELMOOR_SIGN_PASSWORD_FILE} -h sha256
            -n "Pixelmoor 32-bit Installer" ${timestamp}
            -in ${setup_exe} -out ${setup_exe}.signed
    COMMAND ${CMAKE_COMMAND} -E rename ${setup_exe}.signed ${setup_exe}
    COMMENT "Signing the setup (Authenticode, SHA-256)"
    VERBATIM)
  set_property(TARGET PixelmoorPlugInsSetup APPEND PROPERTY LINK_DEPENDS ${PIXELMOOR_SIGN_PFX})
endif()
# A change of the signing settings links the setup again, and so signs or unsigns it.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/signing.txt
     CONTENT "${PIXELMOOR_SIGN_PFX}\n${PIXELMOOR_SIGN_TIMESTAMP_URL}\n")
set_property(TARGET PixelmoorPlugInsSetup APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/signing.txt)
