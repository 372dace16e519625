# Signs the linked setup (cmake -P, run by signing.cmake after each link).
# osslsigncode writes a new file, which replaces the setup only once signing
# succeeded. When it fails, the unsigned setup is deleted: nothing unsigned
# stays under the setup's name, and the next build links and signs it again
# instead of finding it up to date.
#   cmake -DSETUP=EXE -DOSSLSIGNCODE=PATH -DPFX=FILE -DPASSWORD_FILE=FILE [-DTIMESTAMP_URL=URL] -P sign_setup.cmake
set(signed "${SETUP}.signed")
file(REMOVE "${signed}")
set(timestamp)
if(TIMESTAMP_URL)
  set(timestamp -ts "${TIMESTAMP_URL}")
endif()
execute_process(
  COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${PFX}" -readpass "${PASSWORD_FILE}" -h sha256
          -n "Pixelmoor 32-bit Installer" ${timestamp} -in "${SETUP}" -out "${signed}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  file(REMOVE "${signed}" "${SETUP}")
  # Line by line and unwrapped, so that the cause can be found and shown first.
  string(STRIP "${output}" output)
  string(REPLACE "\n" "\nsign_setup: " output "${output}")
  message(NOTICE "sign_setup: ${output}")
  message(FATAL_ERROR "Signing failed, so the unsigned setup was deleted")
endif()
file(RENAME "${signed}" "${SETUP}")
