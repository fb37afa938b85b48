# Each floor of the product is its own library and sees only the floors below it.
#
# zr48_floor_headers(<target> <name> <path>) gives <target>, and every target that links it, an
# include root holding one link, <name> -> <path>: a directory's headers are then included as
# "<name>/header.h", a single file as "<name>". No include path names the source tree itself, so
# a floor that includes a header of a floor it does not link fails to compile ("No such file or
# directory") instead of quietly growing a cycle.
function(zr48_floor_headers target name path)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${target})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${path} ${root}/${name} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
