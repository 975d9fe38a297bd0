# Runs desktop-file-validate on DESKTOP_FILE and appstreamcli on METAINFO_FILE; fails when either
# reports anything but a pedantic remark, and shows what it said.
function(validate)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # Both exit 0 on warnings and hints, which name things a desktop or software centre then ignores.
  # appstreamcli's pedantic remarks ("P:") only object to the capitals of the reverse-DNS id.
  if(NOT status EQUAL 0 OR output MATCHES "(error|warning|hint):|(^|\n)[EWI]: ")
    string(JOIN " " command ${ARGN})
    message(FATAL_ERROR "${command}:\n${output}")
  endif()
endfunction()

validate(desktop-file-validate ${DESKTOP_FILE})
validate(appstreamcli validate --no-net --explain ${METAINFO_FILE})
