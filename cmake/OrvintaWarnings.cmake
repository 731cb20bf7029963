# One warning set for every target of the project.
add_library(orvinta_warnings INTERFACE)
target_compile_options(orvinta_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  -Wcast-align -Woverloaded-virtual -Wconversion
  -Wimplicit-fallthrough
  # GCC 12 reports std::string operator+ chains as overlapping copies (GCC bug 105329).
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>
  $<$<BOOL:${ORVINTA_WERROR}>:-Werror>)
