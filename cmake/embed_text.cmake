# Writes OUTPUT, a header that holds the text of INPUT as the string_view constant NAME, so that a file the
# program serves is built into it and read from nowhere at run time.
file(READ ${INPUT} content)
if(content MATCHES "\\)zarn_embedded\"")
  message(FATAL_ERROR "${INPUT} holds the raw string's closing mark )zarn_embedded\"")
endif()
file(WRITE ${OUTPUT}.tmp "// Made by the build from ${INPUT}; edit that file instead.\n#pragma once\n\n#include <string_view>\n\ninline constexpr std::string_view ${NAME} = R\"zarn_embedded(${content})zarn_embedded\";\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
