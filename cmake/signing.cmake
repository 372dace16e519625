# Signs the setup as a build step when a key is given: scripts/sign after
# each link, with a PKCS#12 file (PIXELMOOR_SIGN_PFX and
# PIXELMOOR_SIGN_PASSWORD_FILE) or a key on a PKCS#11 token
# (PIXELMOOR_SIGN_PKCS11_MODULE, PIXELMOOR_SIGN_KEY, PIXELMOOR_SIGN_CERT_CHAIN,
# and PIXELMOOR_SIGN_PIN_FILE or PIXELMOOR_SIGN_PIN_ENV, the name of a
# variable of the build's environment; PIXELMOOR_SIGN_PKCS11_ENGINE, the path
# of an OpenSSL engine for PKCS#11 other than libp11's), a time stamp from the first server of the list
# PIXELMOOR_SIGN_TIMESTAMP_URL that answers, verified against
# PIXELMOOR_SIGN_CA (and PIXELMOOR_SIGN_TSA_CA). Only names and paths are
# kept here, never a password or PIN. The signature comes after the image;
# the resources, the payload among them, are unchanged. A failed signing
# leaves no setup, so the next build links and signs again.
set(setup_exe $<TARGET_FILE:PixelmoorPlugInsSetup>)
# A PKCS#11 URI separates its attributes with semicolons, which a CMake list
# would split: each becomes $<SEMICOLON>, a semicolon again in the command.
string(REPLACE ";" "$<SEMICOLON>" sign_key "${PIXELMOOR_SIGN_KEY}")
# What scripts/sign needs, checked when the build is set up.
function(pixelmoor_sign_needs variable what)
  if(NOT ${variable} OR NOT EXISTS "${${variable}}")
    message(FATAL_ERROR "Signing needs ${variable}, ${what}")
  endif()
endfunction()
set(sign_args)
if(PIXELMOOR_SIGN_PFX)
  pixelmoor_sign_needs(PIXELMOOR_SIGN_PFX "the PKCS#12 file")
  pixelmoor_sign_needs(PIXELMOOR_SIGN_PASSWORD_FILE "a file that holds its password")
  list(APPEND sign_args --pfx "${PIXELMOOR_SIGN_PFX}" --password-file "${PIXELMOOR_SIGN_PASSWORD_FILE}")
elseif(PIXELMOOR_SIGN_PKCS11_MODULE)
  pixelmoor_sign_needs(PIXELMOOR_SIGN_PKCS11_MODULE "the token's PKCS#11 module")
  pixelmoor_sign_needs(PIXELMOOR_SIGN_CERT_CHAIN "the certificate and its chain as PEM")
  if(NOT PIXELMOOR_SIGN_KEY OR PIXELMOOR_SIGN_KEY MATCHES "pin-(value|source)=")
    message(FATAL_ERROR "Signing needs PIXELMOOR_SIGN_KEY, the key's PKCS#11 URI, without a PIN in it")
  endif()
  list(APPEND sign_args --pkcs11-module "${PIXELMOOR_SIGN_PKCS11_MODULE}" --key "${sign_key}"
       --cert-chain "${PIXELMOOR_SIGN_CERT_CHAIN}")
  if(PIXELMOOR_SIGN_PIN_ENV)
    list(APPEND sign_args --pin-env "${PIXELMOOR_SIGN_PIN_ENV}")
  else()
    pixelmoor_sign_needs(PIXELMOOR_SIGN_PIN_FILE "a file that holds the token's PIN (or PIXELMOOR_SIGN_PIN_ENV)")
    list(APPEND sign_args --pin-file "${PIXELMOOR_SIGN_PIN_FILE}")
  endif()
  if(PIXELMOOR_SIGN_PKCS11_ENGINE)
    list(APPEND sign_args --pkcs11-engine "${PIXELMOOR_SIGN_PKCS11_ENGINE}")
  endif()
endif()
if(sign_args)
  pixelmoor_sign_needs(PIXELMOOR_SIGN_CA "the root certificates (PEM) the signature must verify against")
  list(APPEND sign_args --ca "${PIXELMOOR_SIGN_CA}")
  foreach(url IN LISTS PIXELMOOR_SIGN_TIMESTAMP_URL)
    list(APPEND sign_args --timestamp-url "${url}")
  endforeach()
  if(PIXELMOOR_SIGN_TIMESTAMP_URL)
    pixelmoor_sign_needs(PIXELMOOR_SIGN_TSA_CA "the root certificates (PEM) the time stamp must verify against")
    list(APPEND sign_args --tsa-ca "${PIXELMOOR_SIGN_TSA_CA}")
  endif()
  # scripts/sign checks every file it is given before it signs.
  add_custom_command(TARGET PixelmoorPlugInsSetup POST_BUILD
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/sign ${setup_exe} ${sign_args}
    COMMENT "Signing the setup (Authenticode, SHA-256)"
    VERBATIM)
endif()
# A change of the signing settings links the setup again, and so signs or unsigns it.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/signing.txt CONTENT "${sign_args}\n")
set_property(TARGET PixelmoorPlugInsSetup APPEND PROPERTY LINK_DEPENDS ${CMAKE_BINARY_DIR}/signing.txt)
