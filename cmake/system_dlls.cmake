# The system DLLs the setup calls besides KERNEL32, ntdll and msvcrt, which
# alone are bound when Windows loads it. Each of these is delay-loaded: the
# first call loads it from the system folder, after start-up has restricted
# the DLL search (app/setup_start.cpp), so none is ever looked for beside the
# setup. This list is the one place that names them: the folders link
# pixelmoor_delay_<name>, and the import test reads PIXELMOOR_DELAY_LOADED_DLLS.
set(PIXELMOOR_DELAY_LOADED_DLLS advapi32 bcrypt comctl32 gdi32 ole32 rstrtmgr shell32 user32 userenv)

# A delay-import library per DLL, made with dlltool from the names in
# mingw-w64's own import library, once, when the build is configured.
get_filename_component(pixelmoor_compiler ${CMAKE_C_COMPILER} NAME)
string(REGEX REPLACE "gcc.*$" "" pixelmoor_tool_prefix ${pixelmoor_compiler})  # "i686-w64-mingw32-"
find_program(PIXELMOOR_NM NAMES ${pixelmoor_tool_prefix}nm REQUIRED)
find_program(PIXELMOOR_DLLTOOL NAMES ${pixelmoor_tool_prefix}dlltool REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(pixelmoor_import_prefix "__imp__")  # i386 names carry a leading underscore
  set(pixelmoor_dlltool_machine i386)
else()
  set(pixelmoor_import_prefix "__imp_")
  set(pixelmoor_dlltool_machine i386:x86-64)
endif()

set(pixelmoor_delay_dir ${CMAKE_BINARY_DIR}/delay-imports)
file(MAKE_DIRECTORY ${pixelmoor_delay_dir})
foreach(dll IN LISTS PIXELMOOR_DELAY_LOADED_DLLS)
  find_library(PIXELMOOR_IMPORT_${dll} NAMES lib${dll}.a REQUIRED)
  set(delay_lib ${pixelmoor_delay_dir}/lib${dll}_delay.a)
  if(NOT EXISTS ${delay_lib} OR ${PIXELMOOR_IMPORT_${dll}} IS_NEWER_THAN ${delay_lib}
     OR ${CMAKE_CURRENT_LIST_FILE} IS_NEWER_THAN ${delay_lib})
    execute_process(COMMAND ${PIXELMOOR_NM} ${PIXELMOOR_IMPORT_${dll}}
      OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "cannot list ${PIXELMOOR_IMPORT_${dll}}: ${rc}")
    endif()
    string(REGEX MATCHALL " I ${pixelmoor_import_prefix}[^\n]+" imports "${symbols}")
    list(TRANSFORM imports REPLACE " I ${pixelmoor_import_prefix}" "")
    list(REMOVE_DUPLICATES imports)
    list(JOIN imports "\n" exports)
    file(WRITE ${pixelmoor_delay_dir}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
    # -k: the DLL exports the names without their "@N" stack sizes. Made in
    # a folder of its own first, so that a failed run leaves none to reuse;
    # dlltool names its symbols after the output's path, given relative.
    file(MAKE_DIRECTORY ${pixelmoor_delay_dir}/making)
    execute_process(COMMAND ${PIXELMOOR_DLLTOOL} -m ${pixelmoor_dlltool_machine} -k
        -d ../${dll}.def -D ${dll}.dll -y lib${dll}_delay.a
      WORKING_DIRECTORY ${pixelmoor_delay_dir}/making RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      file(REMOVE ${pixelmoor_delay_dir}/making/lib${dll}_delay.a)
      message(FATAL_ERROR "dlltool could not make the delay-import library of ${dll}.dll: ${rc}")
    endif()
    file(RENAME ${pixelmoor_delay_dir}/making/lib${dll}_delay.a ${delay_lib})
  endif()
  add_library(pixelmoor_delay_${dll} STATIC IMPORTED)
  set_target_properties(pixelmoor_delay_${dll} PROPERTIES IMPORTED_LOCATION ${delay_lib})
endforeach()
