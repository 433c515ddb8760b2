# Fails when a source of the portable core (SOURCE_DIR, less the ADAPTER_FOLDERS) includes a header from
# outside the project that is not the standard library's: a header of the operating system (unistd.h,
# sys/stat.h, windows.h) or of another library has a suffix or a folder in its name, a standard one neither.
# The one exception is nlohmann/json.hpp: written in standard C++ alone, in headers only, so it builds
# wherever the core does and links nothing.
file(GLOB_RECURSE sources ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
list(FILTER sources EXCLUDE REGEX "${ADAPTER_FOLDERS}")
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<[^>]*[./][^>]*>")
  foreach(include IN LISTS includes)
    if(NOT include MATCHES "<nlohmann/json.hpp>")
      string(APPEND found "\n  ${source}: ${include}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "The portable core includes headers that are not the standard library's:${found}")
endif()
