# Renders the application icon's SVG (res/app_icon.svg) to a square PNG at
# build time, so the art has a single source: the Linux icon theme sizes and
# the Windows .ico are made from it.
find_program(KELVORAN_RSVG_CONVERT rsvg-convert REQUIRED)

function(kelvoran_render_icon size png)
  set(svg "${PROJECT_SOURCE_DIR}/res/app_icon.svg")
  get_filename_component(dir "${png}" DIRECTORY)
  add_custom_command(
    OUTPUT "${png}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND "${KELVORAN_RSVG_CONVERT}" --width=${size} --height=${size} --keep-aspect-ratio
            --format=png --output "${png}" "${svg}"
    DEPENDS "${svg}"
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
endfunction()
