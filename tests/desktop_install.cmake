# Installs a build into a staging folder and validates what a desktop reads from it: the
# entry, the AppStream metainfo, and the program and icons they name.
# cmake -DBUILD_DIR=... -DSTAGE=... -DVERSION=... -P desktop_install.cmake
foreach(tool desktop-file-validate appstreamcli)
  find_program(tool_path_${tool} ${tool})
  if(NOT tool_path_${tool})
    message(FATAL_ERROR "${tool} is missing; `scripts/setup test` installs it")
  endif()
endforeach()

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(rc)
  fail("cmake --install failed:\n${out}")
endif()

file(GLOB entries "${STAGE}/share/applications/*.desktop")
file(GLOB metainfos "${STAGE}/share/metainfo/*.metainfo.xml")
list(LENGTH entries entry_count)
list(LENGTH metainfos metainfo_count)
if(NOT entry_count EQUAL 1 OR NOT metainfo_count EQUAL 1)
  fail("want one desktop entry and one metainfo file, got: ${entries} / ${metainfos}")
endif()
get_filename_component(id "${entries}" NAME_WLE)

# It exits 0 on warnings, so any line but a hint fails. The one hint expected is about two
# main categories (Development and Network), which the entry lists on purpose.
execute_process(COMMAND "${tool_path_desktop-file-validate}" "${entries}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
string(REGEX REPLACE "[^\n]*: hint: [^\n]*\n?" "" serious "${out}")
if(rc OR NOT serious STREQUAL "")
  fail("desktop-file-validate (exit ${rc}):\n${out}")
endif()
execute_process(COMMAND "${tool_path_appstreamcli}" validate --no-net "${metainfos}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(rc)
  fail("appstreamcli validate (exit ${rc}):\n${out}")
endif()

# The two files must name each other, the installed program and this release.
file(STRINGS "${entries}" exec REGEX "^Exec=")
file(STRINGS "${entries}" icon REGEX "^Icon=")
string(REGEX REPLACE "^Exec=([^ ]+).*" "\\1" exec "${exec}")
if(NOT EXISTS "${STAGE}/bin/${exec}")
  fail("Exec=${exec} is not installed in bin/")
endif()
if(NOT icon STREQUAL "Icon=${id}")
  fail("${icon} differs from the entry's id ${id}")
endif()
file(READ "${metainfos}" xml)
foreach(needle "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>"
        "<binary>${exec}</binary>" "<release version=\"${VERSION}\"")
  string(FIND "${xml}" "${needle}" at)
  if(at EQUAL -1)
    fail("metainfo lacks ${needle}")
  endif()
endforeach()

# Each hicolor PNG must be as large as the folder it sits in says.
set(hicolor "${STAGE}/share/icons/hicolor")
foreach(size 16 22 24 32 48 64 128 256)
  set(png "${hicolor}/${size}x${size}/apps/${id}.png")
  if(NOT EXISTS "${png}")
    fail("missing icon ${png}")
  endif()
  file(READ "${png}" ihdr OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${ihdr}" 0 8 width)
  string(SUBSTRING "${ihdr}" 8 8 height)
  math(EXPR width "0x${width}")
  math(EXPR height "0x${height}")
  if(NOT width EQUAL size OR NOT height EQUAL size)
    fail("${png} is ${width}x${height}")
  endif()
endforeach()
file(READ "${hicolor}/scalable/apps/${id}.svg" svg LIMIT 200)
if(NOT svg MATCHES "<svg ")
  fail("no scalable SVG icon for ${id}")
endif()
message(STATUS "${id}: entry, metainfo and icons valid in ${STAGE}")
