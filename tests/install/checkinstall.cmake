# Installs Kivo into a scratch prefix and checks that a desktop gets what a user needs and nothing
# else: the two programs, Kivo's menu entry, metainfo and icon, and the LiveContainer stand-in as
# the handler of livecontainer:// links; the desktop's own validators must accept the files.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    bin/kivo
    bin/kivo-livecontainer-standin
    share/applications/${APP_ID}.desktop
    share/applications/kivo-livecontainer-standin.desktop
    share/icons/hicolor/scalable/apps/${APP_ID}.svg
    share/metainfo/${APP_ID}.metainfo.xml)
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
# The desktop's cache of link handlers, written when update-desktop-database is there.
list(REMOVE_ITEM installed share/applications/mimeinfo.cache)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
    message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()

function(expect_lines file)
    file(READ "${PREFIX}/${file}" text)
    foreach(line ${ARGN})
        string(FIND "${text}" "${line}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${file} lacks \"${line}\"")
        endif()
    endforeach()
endfunction()
expect_lines(share/applications/kivo-livecontainer-standin.desktop
    "MimeType=x-scheme-handler/livecontainer;" "Exec=kivo-livecontainer-standin %u")
expect_lines(share/applications/${APP_ID}.desktop "Exec=kivo\n" "Icon=${APP_ID}\n")
expect_lines(share/metainfo/${APP_ID}.metainfo.xml "<id>${APP_ID}</id>"
    "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>" "<screenshots>" "<release version=")

foreach(desktop ${APP_ID} kivo-livecontainer-standin)
    execute_process(COMMAND desktop-file-validate "${PREFIX}/share/applications/${desktop}.desktop"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR output MATCHES "error:")
        message(FATAL_ERROR "desktop-file-validate refuses ${desktop}.desktop:\n${output}")
    endif()
endforeach()
execute_process(COMMAND appstreamcli validate --no-net "${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli refuses the metainfo:\n${output}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
