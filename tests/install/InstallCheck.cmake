# Installs the build tree into a fresh prefix and checks what a distribution
# or a software centre reads from it. Run by ctest (install_tree).
# -DBUILD=<build dir> -DPREFIX=<empty prefix> -DDESKTOP_FILE_VALIDATE=<tool> -DAPPSTREAMCLI=<tool>
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc})")
endif()

set(failures "")
macro(fail text)
  string(APPEND failures "  ${text}\n")
endmacro()

set(expected
  bin/QuillonConverter2 bin/QuillonConverter1 bin/quillon-convert
  share/applications/quillon-converter.desktop share/applications/quillon-converter1.desktop
  share/metainfo/example.orvanta.QuillonConverter2.metainfo.xml
  share/metainfo/example.orvanta.QuillonConverter1.metainfo.xml
  share/metainfo/example.orvanta.QuillonConvert.metainfo.xml
  share/icons/hicolor/scalable/apps/quillon-converter.svg
  share/quillon-converter/MACQuillon2.pdf share/quillon-converter/MACQuillon1.pdf
  share/man/man1/quillon-convert.1 share/man/man1/QuillonConverter2.1 share/man/man1/QuillonConverter1.1
  share/bash-completion/completions/quillon-convert
  share/zsh/vendor-completions/_quillon-convert
  share/fish/vendor_completions.d/quillon-convert.fish)
foreach(f ${EXTRA_EXPECTED})
  list(APPEND expected ${f})
endforeach()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    fail("missing ${f}")
  endif()
endforeach()

# Every theme size is there and really of that size (PNG IHDR width and height).
foreach(size 16 22 24 32 48 64 128 256 512)
  set(png ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/quillon-converter.png)
  if(NOT EXISTS ${png})
    fail("missing icon ${size}x${size}")
    continue()
  endif()
  file(READ ${png} header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 w)
  string(SUBSTRING "${header}" 8 8 h)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  if(NOT w EQUAL size OR NOT h EQUAL size)
    fail("icon ${size}x${size} is ${w}x${h}")
  endif()
endforeach()

file(GLOB desktops ${PREFIX}/share/applications/*.desktop)
foreach(d ${desktops})
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${d} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
    fail("desktop-file-validate ${d}: ${out}")
  endif()
endforeach()

file(GLOB metainfos ${PREFIX}/share/metainfo/*.xml)
foreach(m ${metainfos})
  execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${m} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    fail("appstreamcli validate ${m}:\n${out}")
  endif()
endforeach()
# The tree as a whole: launchables point at installed desktop entries, icons found.
execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net ${PREFIX} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  fail("appstreamcli validate-tree:\n${out}")
endif()

# man finds each page by its name in the installed tree.
find_program(MAN man)
if(MAN)
  foreach(page quillon-convert QuillonConverter2 QuillonConverter1)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env MANPATH=${PREFIX}/share/man ${MAN} -w ${page}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "${PREFIX}/share/man/man1/${page}.1")
      fail("man -w ${page}: ${out}")
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "The installed tree has faults:\n${failures}")
endif()
message(STATUS "installed tree in ${PREFIX}: ${expected}")
