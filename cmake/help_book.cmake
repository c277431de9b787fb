# Builds the help book from the pages in help/.
#
#   cmake -DSOURCE_DIR=<help> -DBOOK_DIR=<staging dir> -DBOOK=<file.htb>
#         -DPLATFORM=<linux|windows> -P help_book.cmake
#     copies the pages into the staging dir, writes the project file there and
#     zips the lot into the book the program's viewer reads.
#
# One set of pages serves both systems. Text that holds on one system only
# stands between <!--linux--> and <!--/linux-->, or <!--windows--> and
# <!--/windows-->; the book of the other system leaves it out. A page that has
# nothing to say on the other system starts with such a marker in its first
# line and is left out of that book whole.
#   cmake -DBOOK_DIR=<staging dir> -DCHMCMD=<chmcmd> -DCHM_DIR=<dir> -P help_book.cmake
#     compiles the staged pages into KELVORAN.CHM in CHM_DIR and checks the result.
#
# The context numbers live in one place, the ID params of the contents file;
# the project file's [MAP] and [ALIAS] sections are derived from them here,
# because the Windows viewer looks context numbers up there and not in the
# contents.

function(read_context_pages hhc out_ids out_pages)
  file(READ "${hhc}" contents)
  string(REGEX MATCHALL "<object type=\"text/sitemap\">[^\n]*</object>" entries "${contents}")
  set(ids "")
  set(pages "")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "<param name=\"ID\" value=\"([0-9]+)\">")
      set(id "${CMAKE_MATCH_1}")
      if(NOT entry MATCHES "<param name=\"Local\" value=\"([^\"]+)\">")
        message(FATAL_ERROR "${hhc}: context ${id} names no page")
      endif()
      list(APPEND ids "${id}")
      list(APPEND pages "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(unique "${ids}")
  list(REMOVE_DUPLICATES unique)
  if(NOT unique STREQUAL ids)
    message(FATAL_ERROR "${hhc}: a context number is given to more than one page")
  endif()
  set(${out_ids} "${ids}" PARENT_SCOPE)
  set(${out_pages} "${pages}" PARENT_SCOPE)
endfunction()

# The text without the blocks meant for `other`, the system not being built
# for. CMake's expressions have no lazy repetition, so each block's markers
# become bytes no page holds first.
function(drop_blocks_of other text out)
  string(REGEX REPLACE "<!--/?${PLATFORM}-->\n?" "" text "${text}")
  string(ASCII 1 open)
  string(ASCII 2 close)
  string(REPLACE "<!--${other}-->" "${open}" text "${text}")
  string(REPLACE "<!--/${other}-->" "${close}" text "${text}")
  string(REGEX REPLACE "${open}[^${close}]*${close}\n?" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(stage_book)
  if(NOT PLATFORM)
    set(PLATFORM linux)
  endif()
  set(other windows)
  if(PLATFORM STREQUAL "windows")
    set(other linux)
  endif()
  file(REMOVE_RECURSE "${BOOK_DIR}")
  file(GLOB all_pages RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.html")
  list(SORT all_pages)
  set(pages "")
  foreach(page IN LISTS all_pages)
    file(STRINGS "${SOURCE_DIR}/${page}" first LIMIT_COUNT 1)
    if(NOT first MATCHES "^<!--${other}-->")
      list(APPEND pages "${page}")
    endif()
  endforeach()
  set(members ${pages} kelvoran.css kelvoran.hhc kelvoran.hhk)
  foreach(member IN LISTS members)
    file(READ "${SOURCE_DIR}/${member}" text)
    drop_blocks_of("${other}" "${text}" text)
    file(WRITE "${BOOK_DIR}/${member}" "${text}")
  endforeach()

  read_context_pages("${BOOK_DIR}/kelvoran.hhc" ids targets)
  string(JOIN "\n" HELP_FILES ${pages} kelvoran.css)
  set(HELP_ALIAS "")
  set(HELP_MAP "")
  foreach(id target IN ZIP_LISTS ids targets)
    string(APPEND HELP_ALIAS "IDH_${id}=${target}\n")
    string(APPEND HELP_MAP "#define IDH_${id} ${id}\n")
  endforeach()
  configure_file("${SOURCE_DIR}/kelvoran.hhp.in" "${BOOK_DIR}/kelvoran.hhp" @ONLY)

  file(REMOVE "${BOOK}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${BOOK}" --format=zip --
                          ${members} kelvoran.hhp
                  WORKING_DIRECTORY "${BOOK_DIR}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not zip the help book into ${BOOK}")
  endif()
endfunction()

function(compile_chm)
  set(chm "${CHM_DIR}/KELVORAN.CHM")
  file(REMOVE_RECURSE "${CHM_DIR}")
  file(COPY "${BOOK_DIR}/" DESTINATION "${CHM_DIR}")
  # chmcmd writes each context number's page into the book as the project
  # file's absolute folder plus the page's name, whatever the [ALIAS] section
  # says; Windows then looks for this machine's build folder inside the CHM and
  # F1 finds nothing. So the compiler runs with the staging folder as its root
  # directory (a user and mount namespace of its own, no privileges needed),
  # where that folder is "/" and the pages are named as they stand in the book.
  file(REAL_PATH "${CHMCMD}" chmcmd)
  if(NOT chmcmd MATCHES "^/usr/")
    message(FATAL_ERROR "${chmcmd}: only a compiler under /usr is reachable from the staging folder")
  endif()
  execute_process(
    COMMAND unshare --user --map-root-user --mount sh -c
            "mkdir usr && ln -s usr/lib lib && ln -s usr/lib64 lib64 && mount --rbind /usr usr && exec chroot . \"$1\" kelvoran.hhp"
            compile_chm "${chmcmd}"
    WORKING_DIRECTORY "${CHM_DIR}" RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # The links themselves, and the mount point with rmdir: only ever empty out
  # here, and nothing under /usr is removed should it not be.
  file(REMOVE "${CHM_DIR}/lib" "${CHM_DIR}/lib64")
  execute_process(COMMAND rmdir "${CHM_DIR}/usr")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "chmcmd failed (${status}):\n${output}")
  endif()
  # chmcmd reports missing files and broken links as warnings and still
  # succeeds; a book with holes must not pass.
  if(output MATCHES "[Ww]arning|[Ee]rror")
    message(FATAL_ERROR "chmcmd complained:\n${output}")
  endif()
  if(NOT EXISTS "${chm}")
    message(FATAL_ERROR "chmcmd wrote no ${chm}")
  endif()
  # Every page must be in the compiled book: their names stand in its
  # directory uncompressed.
  file(SIZE "${chm}" size)
  file(READ "${chm}" bytes HEX)
  file(GLOB pages RELATIVE "${CHM_DIR}" "${CHM_DIR}/*.html")
  foreach(page IN LISTS pages)
    string(HEX "/${page}" wanted)
    string(FIND "${bytes}" "${wanted}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${chm} (${size} bytes) lacks ${page}")
    endif()
  endforeach()
  message(STATUS "${chm}: ${size} bytes")
endfunction()

if(DEFINED CHMCMD)
  compile_chm()
else()
  stage_book()
endif()
