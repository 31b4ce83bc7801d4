# vantrel_add_blobs(<target> SOURCES <file>... [ALIGN <n>] [MAX_SIZE <n>] [EMBED]
#                   [SCHEMA <file.schema>])
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
# with <name> made a C identifier.  A name that vantrel-comp would refuse
# as an array name (a keyword of C or C++, a reserved name, main, a name
# <stddef.h> or <stdint.h> may define, or one ending in an underscore)
# becomes blob_<name>, with each run of underscores made one and those at
# either end dropped: int.txt gives blob_int, __init__.txt blob_init.  A
# program that links <target> carries its blobs in its own image.
#
# With SCHEMA, every source is compiled against the schema (vantrel-comp
# --schema: names where ids stand, each tag checked), and the schema's C
# header with its loader (vantrel-comp --schema --c-header <prefix>) is
# generated as <prefix>.h into <current binary dir>/<target>_include, on
# the include path of <target> and of whatever links it, together with
# vantrel's headers: <prefix> is the schema's file name without its last
# extension made a C identifier (device-settings.schema gives
# device_settings.h, struct device_settings and device_settings_load).
# An edit of the schema rebuilds every blob and the header.  Without EMBED,
# <target> is then an interface library, built with ALL, instead of a
# custom target.
#
# Works with the installed package (find_package(vantrel)) and inside the
# source tree (add_subdirectory, FetchContent): both give the program
# target vantrel::vantrel-comp.  A cross build runs a compiler of the build
# host instead, as cross builds do with their generators: VANTREL_HOST_COMP
# names it (the blobs are the same bytes whichever machine compiles them).
include_guard(GLOBAL)

set(VANTREL_HOST_COMP "" CACHE FILEPATH
    "A vantrel-comp that runs on the build host, for vantrel_add_blobs (empty: vantrel::vantrel-comp)")

# The names vantrel-comp refuses by list, read from the header it is built
# with (installed beside this file; lib/ in the source tree): the quoted
# words between its marker comments.  Kept globally, as the function may be
# called from any folder.
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/vantrel_c_names.h")
  file(READ "${CMAKE_CURRENT_LIST_DIR}/vantrel_c_names.h" _vantrel_names)
else()
  file(READ "${CMAKE_CURRENT_LIST_DIR}/../lib/vantrel_c_names.h" _vantrel_names)
endif()
string(REGEX MATCH "/\\* refused names:.*/\\* end of refused names \\*/" _vantrel_names "${_vantrel_names}")
if(_vantrel_names STREQUAL "")
  message(FATAL_ERROR "vantrel-blobs.cmake: no list of refused names in vantrel_c_names.h")
endif()
string(REGEX MATCHALL "\"[A-Za-z0-9_]+\"" _vantrel_names "${_vantrel_names}")
string(REPLACE "\"" "" _vantrel_names "${_vantrel_names}")
set_property(GLOBAL PROPERTY VANTREL_REFUSED_NAMES "${_vantrel_names}")
unset(_vantrel_names)

# The array name for a source's file name stem, in <out>: the stem made a C
# identifier, or blob_... when vantrel-comp would refuse that (its rule,
# here for the name and for <name>_size: listed, reserved, main, or of the
# form of a stdint.h name).
function(_vantrel_array_name stem out)
  string(MAKE_C_IDENTIFIER "${stem}" symbol)
  get_property(refused GLOBAL PROPERTY VANTREL_REFUSED_NAMES)
  foreach(word "${symbol}" "${symbol}_size")
    if(word IN_LIST refused OR word STREQUAL "main" OR
       word MATCHES "^_[A-Z]|__|^u?int.*_t$|^U?INT.*_(MAX|MIN|WIDTH|C)$")
      string(REGEX REPLACE "_+" "_" symbol "${symbol}")
      string(REGEX REPLACE "^_|_$" "" symbol "${symbol}")
      if(symbol STREQUAL "")
        set(symbol blob)
      else()
        set(symbol "blob_${symbol}")
      endif()
      break()
    endif()
  endforeach()
  set(${out} "${symbol}" PARENT_SCOPE)
endfunction()

# The loader header's folder and vantrel's headers (vantrel_schema.h and
# the reader it includes) on the include path of <target>.
function(_vantrel_loader_includes target scope include_dir)
  if(NOT TARGET vantrel::reader)
    message(FATAL_ERROR "vantrel_add_blobs(${target} SCHEMA): vantrel::reader is not known")
  endif()
  target_include_directories(${target} ${scope} ${include_dir}
    $<TARGET_PROPERTY:vantrel::reader,INTERFACE_INCLUDE_DIRECTORIES>)
endfunction()

# The vantrel-comp that custom commands run, in <out>: VANTREL_HOST_COMP,
# or the program target by its own name (an in-tree alias stands for the
# real one).  <who> begins the messages.
function(_vantrel_comp out who)
  if(VANTREL_HOST_COMP)
    if(NOT EXISTS "${VANTREL_HOST_COMP}" OR IS_DIRECTORY "${VANTREL_HOST_COMP}")
      message(FATAL_ERROR "${who}: VANTREL_HOST_COMP (${VANTREL_HOST_COMP}) is not a program")
    endif()
    set(${out} "${VANTREL_HOST_COMP}" PARENT_SCOPE)
  elseif(NOT TARGET vantrel::vantrel-comp)
    message(FATAL_ERROR "${who}: vantrel::vantrel-comp is not known; "
                        "find_package(vantrel) or add vantrel's source tree first")
  else()
    get_target_property(aliased vantrel::vantrel-comp ALIASED_TARGET)
    if(aliased)
      set(${out} ${aliased} PARENT_SCOPE)
    else()
      set(${out} vantrel::vantrel-comp PARENT_SCOPE)
    endif()
  endif()
endfunction()

function(vantrel_add_blobs target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "EMBED" "ALIGN;MAX_SIZE;SCHEMA" "SOURCES")
  if(ARG_UNPARSED_ARGUMENTS OR ARG_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "vantrel_add_blobs(${target}): unexpected or incomplete arguments: "
                        "${ARG_UNPARSED_ARGUMENTS} ${ARG_KEYWORDS_MISSING_VALUES}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "vantrel_add_blobs(${target}): no SOURCES given")
  endif()
  _vantrel_comp(comp "vantrel_add_blobs(${target})")
  set(options "")
  if(DEFINED ARG_ALIGN)
    list(APPEND options -a ${ARG_ALIGN})
  endif()
  if(DEFINED ARG_MAX_SIZE)
    list(APPEND options -s ${ARG_MAX_SIZE})
  endif()
  set(include_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_include)
  set(schema "")
  set(loader "")
  if(DEFINED ARG_SCHEMA)
    cmake_path(ABSOLUTE_PATH ARG_SCHEMA BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE schema)
    cmake_path(GET schema STEM LAST_ONLY prefix)
    string(MAKE_C_IDENTIFIER "${prefix}" prefix)
    list(APPEND options --schema ${schema})
    # vantrel-comp refuses a prefix the header cannot use, with its reason.
    set(loader ${include_dir}/${prefix}.h)
    add_custom_command(OUTPUT ${loader}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${include_dir}
      COMMAND ${comp} --schema ${schema} --c-header ${prefix} -o ${loader}
      DEPENDS ${schema} ${comp}
      COMMENT "Generating the loader ${prefix}.h of ${ARG_SCHEMA}"
      VERBATIM)
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
      DEPENDS ${path} ${comp} ${schema}
      COMMENT "Compiling blob ${name}.dat"
      VERBATIM)
    list(APPEND outputs ${blob})

    if(ARG_EMBED)
      _vantrel_array_name("${name}" symbol)
      if(symbol IN_LIST symbols)
        message(FATAL_ERROR "vantrel_add_blobs(${target}): two sources would define ${symbol}")
      endif()
      list(APPEND symbols ${symbol})
      set(array ${array_dir}/${name}.${extension})
      add_custom_command(OUTPUT ${array}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${array_dir}
        COMMAND ${comp} ${options} --c-array ${symbol} -o ${array} ${path}
        DEPENDS ${path} ${comp} ${schema}
        COMMENT "Compiling blob ${name} as C array ${symbol}"
        VERBATIM)
      list(APPEND outputs ${array})
      string(APPEND declarations
        "extern const unsigned char ${symbol}[];\nextern const size_t ${symbol}_size;\n")
    endif()
  endforeach()

  if(NOT ARG_EMBED AND NOT schema)
    add_custom_target(${target} ALL DEPENDS ${outputs})
    return()
  endif()
  if(NOT ARG_EMBED)
    add_custom_target(${target}_build ALL DEPENDS ${outputs} ${loader})
    add_library(${target} INTERFACE)
    add_dependencies(${target} ${target}_build)
    _vantrel_loader_includes(${target} INTERFACE ${include_dir})
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
  add_library(${target} STATIC ${outputs} ${header} ${loader})
  target_include_directories(${target} PUBLIC ${include_dir})
  if(schema)
    _vantrel_loader_includes(${target} PUBLIC ${include_dir})
  endif()
  # Linkable into shared libraries too.
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
endfunction()
