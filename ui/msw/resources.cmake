# The Windows program's resources: the application manifest, the version
# information and the icon, and the compiled help book beside the program.

# The icon's sizes are rendered from the SVG of res/ and put into one .ico;
# the largest is kept as PNG, as Windows reads it.
include(${PROJECT_SOURCE_DIR}/cmake/render_icon.cmake)
find_program(KELVORAN_ICOTOOL icotool REQUIRED)
set(kelvoran_icon_dir "${CMAKE_CURRENT_BINARY_DIR}/icon")
set(kelvoran_icon_args)
set(kelvoran_icon_pngs)
foreach(size IN ITEMS 16 20 24 32 40 48 64 256)
  set(png "${kelvoran_icon_dir}/${size}.png")
  kelvoran_render_icon(${size} "${png}")
  list(APPEND kelvoran_icon_pngs "${png}")
  if(size EQUAL 256)
    list(APPEND kelvoran_icon_args --raw=${png})
  else()
    list(APPEND kelvoran_icon_args ${png})
  endif()
endforeach()
set(kelvoran_ico "${CMAKE_CURRENT_BINARY_DIR}/kelvoran.ico")
add_custom_command(
  OUTPUT "${kelvoran_ico}"
  COMMAND "${KELVORAN_ICOTOOL}" --create --output=${kelvoran_ico} ${kelvoran_icon_args}
  DEPENDS ${kelvoran_icon_pngs}
  COMMENT "Assembling kelvoran.ico"
  VERBATIM)

set(KELVORAN_ICO "${kelvoran_ico}")
# Common controls 6 (the themed controls) and per-monitor DPI awareness.
set(KELVORAN_MANIFEST "${CMAKE_CURRENT_BINARY_DIR}/kelvoran.manifest")
configure_file(msw/kelvoran.manifest.in "${KELVORAN_MANIFEST}" @ONLY)
configure_file(msw/kelvoran.rc.in "${CMAKE_CURRENT_BINARY_DIR}/kelvoran.rc" @ONLY)
target_sources(kelvoran PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/kelvoran.rc")
set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/kelvoran.rc" PROPERTIES
  OBJECT_DEPENDS "${kelvoran_ico};${KELVORAN_MANIFEST}")
# wx's own resources (cursors, the toolbar's colour map) come from its wx.rc.
target_include_directories(kelvoran PRIVATE ${wxWidgets_INCLUDE_DIRS})

# KELVORAN.CHM beside the program, where the program looks for it.
if(TARGET kelvoran_chm)
  add_custom_target(kelvoran_chm_beside_program ALL
    COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${KELVORAN_CHM}"
            "$<TARGET_FILE_DIR:kelvoran>/KELVORAN.CHM"
    VERBATIM)
  add_dependencies(kelvoran_chm_beside_program kelvoran_chm)
endif()
