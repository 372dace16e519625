# Signs the setup as a build step when PIXELMOOR_SIGN_PFX is given: Authenticode
# with SHA-256 through osslsigncode, the password read from
# PIXELMOOR_SIGN_PASSWORD_FILE (never on a command line), a time stamp from
# PIXELMOOR_SIGN_TIMESTAMP_URL when given (sign_setup.cmake). The signature
# comes after the image; the resources, the payload among them, are unchanged.
# A failed signing leaves no setup, so the next build links and signs again.
set(setup_exe $<TARGET_FILE:PixelmoorPlugInsSetup>)
if(PIXELMOOR_SIGN_PFX)
  if(NOT EXISTS "${PIXELMOOR_SIGN_PFX}")
    message(FATAL_ERROR "No PKCS#12 file at PIXELMOOR_SIGN_PFX=${PIXELMOOR_SIGN_PFX}")
  endif()
  if(NOT PIXELMOOR_SIGN_PASSWORD_FILE OR NOT EXISTS "${PIXELMOOR_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "Signing needs PIXELMOOR_SIGN_PASSWORD_FILE, a file that holds the password")
  endif()
  find_program(PIXELMOOR_OSSLSIGNCODE osslsigncode REQUIRED)
  add_custom_command(TARGET PixelmoorPlugInsSetup POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DSETUP=${setup_exe} -DOSSLSIGNCODE=${PIXELMOOR_OSSLSIGNCODE}
            -DPFX=${PIXELMOOR_SIGN_PFX} -DPASSWORD_FILE=${PIXELMOOR_SIGN_PASSWORD_FILE}
            -DTIMESTAMP_URL=${PIXELMOOR_SIGN_TIMESTAMP_URL}
            -P ${CMAKE_CURRENT_LIST_DIR}/sign_setup.cmake
    COMMENT "Signing the setup (Authenticode, SHA-256)"
    VERBATIM)
  set_property(TARGET PixelmoorPlugInsSetup APPEND PROPERTY LINK_DEPENDS ${PIXELMOOR_SIGN_PFX})
endif()
# A change of the signing settings links the setup again, and so signs or unsigns it.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/signing.txt
     CONTENT "${PIXELMOOR_SIGN_PFX}\n${PIXELMOOR_SIGN_TIMESTAMP_URL}\n")
set_property(TARGET PixelmoorPlugInsSetup APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/signing.txt)
