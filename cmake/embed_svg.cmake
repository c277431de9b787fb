# Turns every res/*.svg into a string constant of one generated C++ file, so
# the program carries its art and needs no data directory at run time.
# Run as: cmake -DSVG_DIR=<dir> -DOUTPUT=<file.cpp> -P embed_svg.cmake
file(GLOB svg_files "${SVG_DIR}/*.svg")
list(SORT svg_files)

set(entries "")
foreach(svg IN LISTS svg_files)
  get_filename_component(name "${svg}" NAME_WE)
  file(READ "${svg}" text)
  string(FIND "${text}" ")svg\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${svg} contains the raw-string delimiter )svg\"")
  endif()
  string(APPEND entries "    {\"${name}\", R\"svg(${text})svg\"},\n")
endforeach()

set(content "// Generated at build time from the SVG files in res/. Do not edit.
#include \"ui/parts/embedded_art.h\"

namespace kelvoran {
namespace {

struct EmbeddedSvgFile {
  std::string_view name;
  std::string_view text;
};

constexpr EmbeddedSvgFile kFiles[] = {
${entries}};

}  // namespace

std::string_view EmbeddedSvg(std::string_view name) {
  for (const EmbeddedSvgFile& file : kFiles) {
    if (file.name == name) return file.text;
  }
  return {};
}

}  // namespace kelvoran
")

# Rewrite only on change, so an unchanged art set does not trigger a rebuild.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
