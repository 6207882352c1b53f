# Generates a Wayland protocol's client header and glue code into the build folder and adds them to a target.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
function(velmora_wayland_protocol target xml)
  get_filename_component(name "${xml}" NAME_WE)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/protocols")
  file(MAKE_DIRECTORY "${dir}")
  add_custom_command(OUTPUT "${dir}/${name}-client.h" "${dir}/${name}.c"
    COMMAND ${WAYLAND_SCANNER} client-header "${xml}" "${dir}/${name}-client.h"
    COMMAND ${WAYLAND_SCANNER} private-code "${xml}" "${dir}/${name}.c"
    DEPENDS "${xml}" VERBATIM)
  target_sources(${target} PRIVATE "${dir}/${name}-client.h" "${dir}/${name}.c")
  target_include_directories(${target} PRIVATE "${dir}")
endfunction()
