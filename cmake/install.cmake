# Install rules and the Debian package: `cmake --install BUILD --prefix DIR`, `cpack -G DEB`.
include(GNUInstallDirs)

set(TACTORA_APP_ID "" CACHE STRING
    "Reverse-DNS id of the desktop entry, icon and metainfo; empty: derived from TACTORA_SITE_URL")
set(TACTORA_MAINTAINER "" CACHE STRING
    "Debian package maintainer, \"Name <address>\"; empty: support@ the site's domain")

# The site's DNS name without "www.", or nothing where the site is no DNS name (test builds
# point it at loopback); the default site's name stands in then.
function(tactora_site_domain url out)
  set(result "")
  if(url MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://([^/:?#]+)")
    string(TOLOWER "${CMAKE_MATCH_1}" host)
    string(REGEX REPLACE "^www\\." "" host "${host}")
    if(host MATCHES "^[a-z0-9-]+(\\.[a-z0-9-]+)+$" AND NOT host MATCHES "^[0-9.]+$")
      set(result "${host}")
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# tactora.example -> example.tactora.Tactora
function(tactora_app_id_of domain out)
  string(REPLACE "." ";" labels "${domain}")
  list(REVERSE labels)
  foreach(label IN LISTS labels)
    # AppStream ids take no hyphens, and no part may start with a digit.
    string(REPLACE "-" "_" label "${label}")
    if(label MATCHES "^[0-9]")
      set(label "_${label}")
    endif()
    list(APPEND parts "${label}")
  endforeach()
  list(JOIN parts "." result)
  set(${out} "${result}.Tactora" PARENT_SCOPE)
endfunction()

string(REGEX REPLACE "/+$" "" TACTORA_SITE "${TACTORA_SITE_URL}")
tactora_site_domain("${TACTORA_SITE}" tactora_domain)
if(NOT tactora_domain)
  set(tactora_domain "tactora.example")
endif()
if(TACTORA_APP_ID)
  set(tactora_app_id "${TACTORA_APP_ID}")
else()
  tactora_app_id_of("${tactora_domain}" tactora_app_id)
endif()
if(TACTORA_MAINTAINER)
  set(tactora_maintainer "${TACTORA_MAINTAINER}")
else()
  set(tactora_maintainer "Tactora developers <support@${tactora_domain}>")
endif()
get_target_property(tactora_executable Tactora OUTPUT_NAME)
if(NOT tactora_executable)
  set(tactora_executable Tactora)
endif()

# Names the templates in packaging/ use.
set(TACTORA_APP_ID "${tactora_app_id}")
# The window names its desktop entry, so Wayland shells match it with the menu entry and icon.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/ui/app/startup.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS "TACTORA_APP_ID=\"${TACTORA_APP_ID}\"")
set(TACTORA_MAINTAINER "${tactora_maintainer}")
set(TACTORA_EXECUTABLE "${tactora_executable}")
set(tactora_out ${CMAKE_BINARY_DIR}/packaging)
set(tactora_in ${CMAKE_SOURCE_DIR}/packaging)
configure_file(${tactora_in}/tactora.desktop.in ${tactora_out}/${TACTORA_APP_ID}.desktop @ONLY)
configure_file(${tactora_in}/tactora.metainfo.xml.in
               ${tactora_out}/${TACTORA_APP_ID}.metainfo.xml @ONLY)
configure_file(${tactora_in}/copyright.in ${tactora_out}/copyright @ONLY)
configure_file(${tactora_in}/changelog.in ${tactora_out}/changelog @ONLY)
configure_file(${tactora_in}/Tactora.1 ${tactora_out}/${TACTORA_EXECUTABLE}.1 @ONLY)
configure_file(${tactora_in}/tactora-cli.1 ${tactora_out}/tactora-cli.1 @ONLY)
# Debian wants these gzipped at the highest level and without a time stamp.
foreach(tactora_doc changelog ${TACTORA_EXECUTABLE}.1 tactora-cli.1)
  execute_process(COMMAND gzip -9nc ${tactora_out}/${tactora_doc}
                  OUTPUT_FILE ${tactora_out}/${tactora_doc}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(TARGETS Tactora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tactora-cli)
  install(TARGETS tactora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${tactora_out}/${TACTORA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${tactora_out}/${TACTORA_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${tactora_in}/icons/tactora-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TACTORA_APP_ID}.png)
endforeach()
install(FILES ${tactora_in}/icons/tactora.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TACTORA_APP_ID}.svg)
install(FILES ${tactora_out}/${TACTORA_EXECUTABLE}.1.gz ${tactora_out}/tactora-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${tactora_out}/copyright ${tactora_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tactora)

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
