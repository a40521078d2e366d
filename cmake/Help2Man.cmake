# Writes one manual page with help2man from a program's --help and --version.
# Run at build time as
#   cmake -DHELP2MAN=... -DPROGRAM=... -DNAME=... -DDESCRIPTION=... -DINCLUDE=...
#         -DVERSION=... -DOUTPUT=... [-DGZIP=...] [-DCOMMANDS=a,b,...] -P Help2Man.cmake
# COMMANDS names subcommands whose own --help goes, as it is printed, into a
# COMMANDS section of the page.
# NAME is the page's name (the installed program's), VERSION the project's.
#
# The programs' options change often, so this tolerates what help2man does
# not: a program without --version gets VERSION, and one that prints its
# --version under another name ("Lumora 0.1.0") is still named NAME. A
# --help that fails or hangs fails the build instead of making an empty page.
cmake_minimum_required(VERSION 3.22)

foreach(var HELP2MAN PROGRAM NAME DESCRIPTION INCLUDE VERSION OUTPUT)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "Help2Man.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND "${PROGRAM}" --help
  RESULT_VARIABLE help_result OUTPUT_VARIABLE help_out ERROR_VARIABLE help_err TIMEOUT 30)
if(NOT help_result EQUAL 0 OR ("${help_out}" STREQUAL "" AND "${help_err}" STREQUAL ""))
  message(FATAL_ERROR "${NAME} --help failed (${help_result}), so its manual page cannot be made:\n"
                      "${help_out}${help_err}")
endif()

# The version is the last word of the first line of --version, when that
# exits 0 and looks like a version; the project's otherwise.
set(version "${VERSION}")
execute_process(COMMAND "${PROGRAM}" --version
  RESULT_VARIABLE version_result OUTPUT_VARIABLE version_out ERROR_QUIET TIMEOUT 30)
if(version_result EQUAL 0 AND version_out MATCHES "^[^\n]*[ \t]v?([0-9]+(\\.[0-9]+)+[^ \t\n]*)[ \t]*(\n|$)")
  set(version "${CMAKE_MATCH_1}")
endif()

set(page "${OUTPUT}")
if(GZIP)
  string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
endif()
set(includes "--include=${INCLUDE}")
if(COMMANDS)
  string(REPLACE "," ";" COMMANDS "${COMMANDS}")
  set(section "[COMMANDS]\n")
  foreach(command IN LISTS COMMANDS)
    execute_process(COMMAND "${PROGRAM}" ${command} --help
      RESULT_VARIABLE command_result OUTPUT_VARIABLE command_help TIMEOUT 30)
    if(NOT command_result EQUAL 0)
      message(FATAL_ERROR "${NAME} ${command} --help failed (${command_result})")
    endif()
    # Shown as printed: backslashes escaped, no line read as a request.
    string(REPLACE "\\" "\\e" command_help "${command_help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" command_help "${command_help}")
    string(APPEND section ".SS ${command}\n.nf\n${command_help}.fi\n")
  endforeach()
  get_filename_component(page_folder "${OUTPUT}" DIRECTORY)
  set(commands_include "${page_folder}/${NAME}-commands.h2m")
  file(WRITE "${commands_include}" "${section}")
  list(APPEND includes "--include=${commands_include}")
endif()
execute_process(COMMAND "${HELP2MAN}" --no-info --no-discard-stderr
    "--name=${DESCRIPTION}" ${includes} "--version-string=${NAME} ${version}"
    "--source=Lumora ${version}" "--output=${page}" "${PROGRAM}"
  RESULT_VARIABLE result ERROR_VARIABLE error TIMEOUT 60)
if(NOT result EQUAL 0)
  file(REMOVE "${page}")
  message(FATAL_ERROR "help2man failed for ${NAME} (${result}): ${error}")
endif()

if(GZIP)
  # -n keeps the name and time out of the header, so equal pages compress
  # to equal bytes.
  execute_process(COMMAND "${GZIP}" -9 -n -f "${page}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}")
  endif()
endif()
