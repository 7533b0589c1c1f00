# The layer rule, checked on every production file: a file may include the
# headers of its own layer and of the layers below it (docs/architecture.md),
# never of a layer above; only the Qt platform and the program's main include
# Qt. Tests, test hosts, test support and benchmarks may use anything (the
# application's dictionary is their fixture).
#
#   cmake -DROOT=<source tree> -P cmake/check_layers.cmake
#
# Prints every upward include as "file: includes header (layer A may not use
# layer B)" and fails when there is one.

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
  message(FATAL_ERROR "check_layers: give -DROOT=<source tree>")
endif()
# A relative root would glob nothing and pass without looking.
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

# Layers from the most specific folder to the least; a file belongs to the
# first whose folder holds it.
#
# The application has layers of its own: the dictionary at the bottom; the
# services every procedure shares (messages and table opening, the frame's
# procedure registry, the documents' files) and the CSV exchange above it;
# the records of the physical side (label sheets and what they label, the
# inventory checks and their window), which the lists and reports print and
# count, above those; the two pattern cores (the browse core and the
# cascade engine) above them; the patterns built on them, each its own layer that may not use
# another; the program's main on top. A folder of app not named here counts
# as a pattern.
set(APP_SERVICES app/messages app/frame app/documents)
set(APP_RECORDS app/labels app/inventory)
set(APP_CORES app/browse app/integrity)
set(APP_PATTERNS app/form app/select app/pictures app/tree app/query app/reminders app/report
  app/backup app/splash app/find app/summary)
set(LAYERS
  runtime/env runtime/files runtime/format runtime/text runtime/eval runtime/views
  storage/qvf/table storage/qvf/driver storage/qvf
  ui/engine ui/help ui/headless ui/qt report images
  app/exchange app/dictionary ${APP_SERVICES} ${APP_RECORDS} ${APP_CORES} ${APP_PATTERNS}
  app/main.cc app tools/morvak/main.cc tools)

# What each layer may use besides itself.
set(USES_runtime/env "")
set(USES_runtime/files runtime/env)
set(USES_runtime/format runtime/files runtime/env)
set(USES_runtime/text runtime/format runtime/files runtime/env)
set(USES_runtime/eval runtime/format runtime/files runtime/env)
set(USES_runtime/views runtime/eval runtime/format runtime/files runtime/env)
set(USES_storage/qvf runtime/files runtime/env)
set(USES_storage/qvf/table storage/qvf runtime/format runtime/files runtime/env)
set(USES_storage/qvf/driver storage/qvf/table storage/qvf runtime/format runtime/files runtime/env)
set(USES_ui/engine images runtime/eval runtime/format runtime/files runtime/env)
set(USES_ui/headless ui/engine images runtime/eval runtime/format runtime/files runtime/env)
set(USES_ui/help "")
set(USES_ui/qt ui/engine ui/help images runtime/eval runtime/format runtime/files runtime/env)
set(USES_report ui/engine images runtime/eval runtime/format runtime/files runtime/env)
set(USES_images runtime/format runtime/files runtime/env)
set(USES_app/dictionary runtime/files runtime/env)
set(USES_app/exchange app/dictionary runtime/format runtime/files runtime/env)
set(RUNTIME_AND_STORAGE
  runtime/views runtime/eval runtime/text runtime/format runtime/files runtime/env
  storage/qvf/driver storage/qvf/table storage/qvf)
set(RUNTIME
  runtime/views runtime/eval runtime/text runtime/format runtime/files runtime/env)
# The services reach tables only through the dictionary's declarations and
# the file layer: never a driver or the storage by name.
foreach(layer IN LISTS APP_SERVICES)
  set(USES_${layer} app/dictionary ui/engine images ${RUNTIME})
endforeach()
foreach(layer IN LISTS APP_RECORDS)
  set(USES_${layer} ${APP_SERVICES} app/exchange app/dictionary ui/engine report images
    ${RUNTIME_AND_STORAGE})
endforeach()
foreach(layer IN LISTS APP_CORES)
  set(USES_${layer} ${APP_RECORDS} ${APP_SERVICES} app/exchange app/dictionary ui/engine report images
    ${RUNTIME_AND_STORAGE})
endforeach()
set(USES_app ${APP_CORES} ${APP_RECORDS} ${APP_SERVICES} app/exchange app/dictionary ui/engine report images
  ${RUNTIME_AND_STORAGE})
foreach(layer IN LISTS APP_PATTERNS)
  set(USES_${layer} ${USES_app})
endforeach()
set(USES_app/main.cc app ${APP_PATTERNS} ${USES_app} ui/headless ui/qt)
set(USES_tools app/exchange app/dictionary images ${RUNTIME_AND_STORAGE})
# The query program's main starts its window (app/query) on a platform, as
# the program's main does, besides the tools' own commands.
set(USES_tools/morvak/main.cc tools ${USES_app/main.cc})
# Layers whose files may include Qt.
set(QT_LAYERS ui/qt app/main.cc)

function(layer_of path out)
  foreach(layer IN LISTS LAYERS)
    if(path STREQUAL layer OR path MATCHES "^${layer}/")
      set(${out} ${layer} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

set(files "")
foreach(top IN ITEMS runtime storage ui report images app tools)
  file(GLOB_RECURSE found RELATIVE ${ROOT} ${ROOT}/${top}/*.cc ${ROOT}/${top}/*.h)
  list(APPEND files ${found})
endforeach()
set(violations 0)
foreach(file IN LISTS files)
  # Not production: builds, tests and what only tests use.
  if(file MATCHES "(^|/)testing/|test|bench|_host\\.cc$")
    continue()
  endif()
  layer_of(${file} layer)
  if(NOT layer)
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    if(line MATCHES "include[ \t]*<(Q[A-Za-z]*)[/>]")
      if(NOT layer IN_LIST QT_LAYERS)
        message("${file}: includes <${CMAKE_MATCH_1}> (only ui/qt and the program's main use Qt)")
        math(EXPR violations "${violations} + 1")
      endif()
      continue()
    endif()
    if(NOT line MATCHES "include[ \t]*\"([^\"]+)\"")
      continue()
    endif()
    set(header ${CMAKE_MATCH_1})
    layer_of(${header} used)
    if(NOT used OR used STREQUAL layer OR used IN_LIST USES_${layer})
      continue()
    endif()
    message("${file}: includes ${header} (layer ${layer} may not use layer ${used})")
    math(EXPR violations "${violations} + 1")
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layer rule (docs/architecture.md)")
endif()
message("layer rule: every production include points down")
