# The warnings every target of the project compiles with, on GCC, Clang and
# MinGW alike. Any warning fails the build: link `ploxwen_warnings` PRIVATE
# into each new target. Headers of other libraries come from system include
# directories, so their warnings do not count.
option(PLOXWEN_WERROR "Fail the build on any compiler warning" ON)

set(ploxwen_warning_flags
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast)
if(PLOXWEN_WERROR)
  list(APPEND ploxwen_warning_flags -Werror)
endif()

add_library(ploxwen_warnings INTERFACE)
# C++ only: the Windows resource compiler sees the same targets.
target_compile_options(ploxwen_warnings INTERFACE
  "$<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:${ploxwen_warning_flags}>")
