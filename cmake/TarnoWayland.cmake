# tarno_wayland_protocol(TARGET XML [SERVER]): generates a Wayland protocol's code from its
# description at build time and adds it to TARGET, with its folder on TARGET's include path: the
# client header and the interface code, or with SERVER the server header alone (the interface code
# then comes from the client side's, which defines it once for the whole program). Call it from the
# folder that defines TARGET, with the C language enabled there.
function(tarno_wayland_protocol target xml)
  cmake_parse_arguments(arg "SERVER" "" "" ${ARGN})
  find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
  get_filename_component(name ${xml} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
  file(MAKE_DIRECTORY ${dir})
  if(arg_SERVER)
    set(outputs ${dir}/${name}-server-protocol.h)
    set(commands COMMAND ${WAYLAND_SCANNER} server-header ${xml} ${dir}/${name}-server-protocol.h)
  else()
    set(outputs ${dir}/${name}-client-protocol.h ${dir}/${name}-protocol.c)
    set(commands COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${dir}/${name}-client-protocol.h COMMAND
                 ${WAYLAND_SCANNER} private-code ${xml} ${dir}/${name}-protocol.c)
  endif()
  add_custom_command(OUTPUT ${outputs} ${commands} DEPENDS ${xml} VERBATIM)
  target_sources(${target} PRIVATE ${outputs})
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
