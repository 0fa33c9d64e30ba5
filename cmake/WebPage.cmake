# The player's page of "ovetool web" (tools/web/index.html), compiled into ovetool as bytes so that
# the tool needs no data files. Included after the ovetool target; run with -P it writes the source.
if(CMAKE_SCRIPT_MODE_FILE)
  file(READ ${OVE_WEB_PAGE_IN} _hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
  file(WRITE ${OVE_WEB_PAGE_OUT}.tmp
    "// Generated from tools/web/index.html by cmake/WebPage.cmake.\n"
    "#include <cstddef>\n"
    "namespace ovetool {\n"
    "extern const unsigned char kWebPage[];\n"
    "extern const std::size_t kWebPageSize;\n"
    "const unsigned char kWebPage[] = {${_bytes}};\n"
    "const std::size_t kWebPageSize = sizeof(kWebPage);\n"
    "}  // namespace ovetool\n")
  file(RENAME ${OVE_WEB_PAGE_OUT}.tmp ${OVE_WEB_PAGE_OUT})
  return()
endif()

set(_web_page ${CMAKE_SOURCE_DIR}/tools/web/index.html)
set(_web_page_cpp ${CMAKE_BINARY_DIR}/generated/WebPage.cpp)
add_custom_command(OUTPUT ${_web_page_cpp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${CMAKE_COMMAND} -DOVE_WEB_PAGE_IN=${_web_page} -DOVE_WEB_PAGE_OUT=${_web_page_cpp}
    -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${_web_page} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Embedding the web player's page")
target_sources(ovetool PRIVATE ${_web_page_cpp})
