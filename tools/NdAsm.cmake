# add_nd_program(<target> <source> <image> [BPUN] [LISTING <file>])
#
# Assembles the ND-100 source <source> (relative to the current source
# directory) with nd-asm into <image> (relative to the current binary
# directory) at build time, and adds the target <target>, built by default,
# that stands for the image. The image is rebuilt when the source, a file it
# includes (nd-asm writes them into a dependency file) or nd-asm changes. BPUN writes a :BPUN image instead of a :PROG image; LISTING also
# writes the assembly listing.
include_guard(GLOBAL)

function(add_nd_program target source image)
  cmake_parse_arguments(ND "BPUN" "LISTING" "" ${ARGN})
  if(ND_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_nd_program: unknown arguments ${ND_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(source_path "${source}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(image_path "${image}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(image_dir "${image_path}" DIRECTORY)
  set(depfile "${image_path}.d")
  set(options -M "${depfile}")
  set(outputs "${image_path}")
  if(ND_BPUN)
    list(APPEND options --bpun)
  endif()
  if(ND_LISTING)
    get_filename_component(listing_path "${ND_LISTING}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    list(APPEND options -l "${listing_path}")
    list(APPEND outputs "${listing_path}")
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory "${image_dir}"
    COMMAND $<TARGET_FILE:nd-asm> "${source_path}" -o "${image_path}" ${options}
    DEPENDS "${source_path}" nd-asm
    DEPFILE "${depfile}"
    COMMENT "Assembling ND program ${source}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
