# vantrel_add_blobs(<target> SOURCES <file>... [ALIGN <n>] [MAX_SIZE <n>] [EMBED])
#
# Compiles each source with vantrel-comp into <current binary dir>/<name>.dat,
# <name> being the source's file name without its last extension; an edit of
# a source (or a new compiler) rebuilds its blob.  ALIGN and MAX_SIZE are the compiler's -a and
# -s.  <target> is a custom target in ALL that builds the blobs.
#
# With EMBED, <target> is a static library instead: it holds each blob as an
# array of unsigned char aligned to the blob's alignment, and its generated
# header <target>.h, on the target's include path, declares for each source
#     extern const unsigned char <name>[];
#     extern const size_t <name>_size;
# with <name> made a C identifier.  A program that links <target> carries
# its blobs in its own image.
#
# Works with the installed package (find_package(vantrel)) and inside the
# source tree (add_subdirectory, FetchContent): both give the program
# target vantrel::vantrel-comp.
include_guard(GLOBAL)

function(vantrel_add_blobs target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "EMBED" "ALIGN;MAX_SIZE" "SOURCES")
  if(ARG_UNPARSED_ARGUMENTS OR ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "vantrel_add_blobs(${target}): unexpected or incomplete arguments: "
                        "${ARG_UNPARSED_ARGUMENTS} ${ARG_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "vantrel_add_blobs(${target}): no SOURCES given")
  endif()
  if(NOT TARGET vantrel::vantrel-comp)
    message(FATAL_ERROR "vantrel_add_blobs(${target}): vantrel::vantrel-comp is not known; "
                        "find_package(vantrel) or add vantrel's source tree first")
  endif()

  # Custom commands run a program target by its own name; an in-tree alias
  # stands for the real one.
  set(comp vantrel::vantrel-comp)
  get_target_property(aliased vantrel::vantrel-comp ALIASED_TARGET)
  if(aliased)
    set(comp ${aliased})
  endif()
  set(options "")
  if(DEFINED ARG_ALIGN)
    list(APPEND options -a ${ARG_ALIGN})
  endif()
  if(DEFINED ARG_MAX_SIZE)
    list(APPEND options -s ${ARG_MAX_SIZE})
  endif()

  if(ARG_EMBED)
    # The arrays compile as C or as C++, whichever the project has.
    get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if("C" IN_LIST languages)
      set(extension c)
    elseif("CXX" IN_LIST languages)
      set(extension cpp)
    else()
      message(FATAL_ERROR "vantrel_add_blobs(${target} EMBED): enable C or CXX first")
    endif()
    set(array_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_blobs)
    set(include_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_include)
  endif()

  set(names "")
  set(symbols "")
  set(outputs "")
  set(declarations "")
  foreach(source IN LISTS ARG_SOURCES)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE
               OUTPUT_VARIABLE path)
    cmake_path(GET path STEM LAST_ONLY name)
    if(name IN_LIST names)
      message(FATAL_ERROR "vantrel_add_blobs(${target}): two sources would make ${name}.dat")
    endif()
    list(APPEND names ${name})
    set(blob ${CMAKE_CURRENT_BINARY_DIR}/${name}.dat)
    add_custom_command(OUTPUT ${blob}
      COMMAND ${comp} ${options} -o ${blob} ${path}
      DEPENDS ${path} ${comp}
      COMMENT "Compiling blob ${name}.dat"
      VERBATIM)
    list(APPEND outputs ${blob})

    if(ARG_EMBED)
      string(MAKE_C_IDENTIFIER "${name}" symbol)
      if(symbol IN_LIST symbols)
        message(FATAL_ERROR "vantrel_add_blobs(${target}): two sources would define ${symbol}")
      endif()
      list(APPEND symbols ${symbol})
      set(array ${array_dir}/${name}.${extension})
      add_custom_command(OUTPUT ${array}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${array_dir}
        COMMAND ${comp} ${options} --c-array ${symbol} -o ${array} ${path}
        DEPENDS ${path} ${comp}
        COMMENT "Compiling blob ${name} as C array ${symbol}"
        VERBATIM)
      list(APPEND outputs ${array})
      string(APPEND declarations
        "extern const unsigned char ${symbol}[];\nextern const size_t ${symbol}_size;\n")
    endif()
  endforeach()

  if(NOT ARG_EMBED)
    add_custom_target(${target} ALL DEPENDS ${outputs})
    return()
  endif()

  string(MAKE_C_IDENTIFIER "${target}_h" guard)
  string(TOUPPER "${guard}" guard)
  set(header ${include_dir}/${target}.h)
  file(CONFIGURE OUTPUT ${header} @ONLY CONTENT
"/* Blobs embedded by vantrel_add_blobs(${target}): each is an array of
 * unsigned char aligned to its blob's alignment, with its size in bytes. */
#ifndef ${guard}
#define ${guard}

#include <stddef.h>

#ifdef __cplusplus
extern \"C\" {
#endif

${declarations}
#ifdef __cplusplus
}
#endif

#endif
")
  add_library(${target} STATIC ${outputs} ${header})
  target_include_directories(${target} PUBLIC ${include_dir})
  # Linkable into shared libraries too.
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
