# The product's facts, set in CMakeLists.txt, checked here and put in the forms their readers
# take: the program's code reads build_config.h (src/CMakeLists.txt), the version resource
# varnlet_version.h and the manifest (res/CMakeLists.txt), the installers and the read-me are
# given them by packaging/CMakeLists.txt; the scripts source <build>/varnlet-facts.sh and the
# packaging scripts read <build>/varnlet-facts.json, both written here.

# The version as every package names it ("1.0", "1.0.1"), and the four numbers of a version
# resource, 0 where the version has no third.
set(VARNLET_VERSION ${PROJECT_VERSION})
set(VARNLET_VERSION_PATCH 0)
if(NOT PROJECT_VERSION_PATCH STREQUAL "")
  set(VARNLET_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
set(VARNLET_FILE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${VARNLET_VERSION_PATCH}.0)
set(VARNLET_COPYRIGHT "Copyright (C) ${VARNLET_COPYRIGHT_YEAR} ${VARNLET_MAKER}")

# Every document quotes the title and the applications' names its own way (C++, a resource
# script, XML, NSIS, YAML, shell): characters none of them treats specially.
if(NOT VARNLET_TITLE MATCHES "^[A-Za-z0-9][A-Za-z0-9 .!+-]*$")
  message(FATAL_ERROR "VARNLET_TITLE is \"${VARNLET_TITLE}\": write it in letters, digits, blanks and . ! + -")
endif()
# The short name goes into folder, key, class, mutex and package names: a letter, then letters and
# digits.
if(NOT VARNLET_SHORT_NAME MATCHES "^[A-Za-z][A-Za-z0-9]*$")
  message(FATAL_ERROR "VARNLET_SHORT_NAME is \"${VARNLET_SHORT_NAME}\": write it in letters and digits, a letter first")
endif()
if(NOT VARNLET_RUN_VALUE MATCHES "^[A-Za-z0-9][A-Za-z0-9.-]*$")
  message(FATAL_ERROR "VARNLET_RUN_VALUE is \"${VARNLET_RUN_VALUE}\": write it in letters, digits and . -")
endif()
if(NOT VARNLET_RUN_KEY MATCHES "^[A-Za-z0-9]+(\\\\[A-Za-z0-9 ]+)*$")
  message(FATAL_ERROR "VARNLET_RUN_KEY is \"${VARNLET_RUN_KEY}\": a key under HKEY_LOCAL_MACHINE, its names in letters, "
                      "digits and blanks")
endif()
set(VARNLET_TARGET_NAMES)
set(VARNLET_TARGET_APPLICATIONS)
foreach(target IN LISTS VARNLET_TARGETS)
  # The trimming pass compares the names byte for byte with the system's wide names: ASCII only.
  if(NOT target MATCHES "^([A-Za-z0-9_.-]+\\.exe):([A-Za-z0-9][A-Za-z0-9 .+-]*)$")
    message(FATAL_ERROR "VARNLET_TARGETS holds \"${target}\": give <file name>.exe:<application>, in ASCII "
                        "letters, digits and . _ - (the application's name also blanks and +)")
  endif()
  if(CMAKE_MATCH_1 IN_LIST VARNLET_TARGET_NAMES)
    message(FATAL_ERROR "VARNLET_TARGETS names ${CMAKE_MATCH_1} twice")
  endif()
  list(APPEND VARNLET_TARGET_NAMES ${CMAKE_MATCH_1})
  list(APPEND VARNLET_TARGET_APPLICATIONS "${CMAKE_MATCH_2}")
endforeach()
if(NOT VARNLET_TARGET_NAMES)
  message(FATAL_ERROR "VARNLET_TARGETS is empty: the program would trim nothing but itself")
endif()
# The texts speak of whole seconds ("cada 5 segundos", "en 7 segundos").
foreach(interval VARNLET_TIMER1_INTERVAL VARNLET_TIMER2_INTERVAL VARNLET_BALLOON_SHOW_TIME)
  if(NOT ${interval} MATCHES "^[1-9][0-9]*000$")
    message(FATAL_ERROR "${interval} is \"${${interval}}\": give whole seconds in milliseconds, as the texts say them")
  endif()
  string(REGEX REPLACE "000$" "" seconds ${${interval}})
  set(${interval}_SECONDS ${seconds})
endforeach()

# The tray's numbers as C++, the scripts and the e2e tool all read them: decimal, the callback
# message in hexadecimal as Windows' headers write WM_APP and above.
foreach(number VARNLET_TRAY_ICON_ID VARNLET_BALLOON_TIMER_ID VARNLET_ICON_RETRY_TIMER_ID VARNLET_ICON_RETRY_INTERVAL)
  if(NOT ${number} MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "${number} is \"${${number}}\": give a positive decimal number")
  endif()
endforeach()
if(NOT VARNLET_TRAY_CALLBACK_MESSAGE MATCHES "^0x[0-9A-Fa-f]+$")
  message(FATAL_ERROR "VARNLET_TRAY_CALLBACK_MESSAGE is \"${VARNLET_TRAY_CALLBACK_MESSAGE}\": give it as 0x and hex digits")
endif()

# The names made of the short name. The main window's class is what the installers find a running
# copy by, and the tests the program's windows.
set(VARNLET_MAIN_WINDOW_CLASS "${VARNLET_SHORT_NAME}.Form1")
set(VARNLET_ABOUT_WINDOW_CLASS "${VARNLET_SHORT_NAME}.Form2")
# Under HKEY_LOCAL_MACHINE: the installer's Add/Remove Programs entry (the MSI has its own, under
# its product code), and the key the MSI's shortcut component keeps its mark under.
set(VARNLET_UNINSTALL_KEY "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${VARNLET_SHORT_NAME}")
set(VARNLET_PRODUCT_KEY "SOFTWARE\\${VARNLET_SHORT_NAME}")

# A tolerance is a delay within an interval: each timer still ticks once an interval.
foreach(interval VARNLET_TIMER1_INTERVAL VARNLET_TIMER2_INTERVAL)
  if(NOT VARNLET_TIMER_TOLERANCE MATCHES "^[0-9]+$" OR VARNLET_TIMER_TOLERANCE EQUAL 0
     OR NOT VARNLET_TIMER_TOLERANCE LESS ${interval})
    message(FATAL_ERROR "VARNLET_TIMER_TOLERANCE is \"${VARNLET_TIMER_TOLERANCE}\": give milliseconds, more than 0 and less than ${interval}")
  endif()
endforeach()

# The applications as a sentence lists them: "A", "A y B", "A, B y C"; Spanish writes "e" for "y"
# before the sound of "i" ("Firefox e Internet Explorer").
function(varnlet_list_applications out conjunction)
  set(names ${ARGN})
  list(POP_BACK names last)
  if(conjunction STREQUAL "y" AND last MATCHES "^[Hh]?[Ii]([^AEIOUaeiou]|$)")
    set(conjunction e)
  endif()
  if(names)
    list(JOIN names ", " text)
    set(${out} "${text} ${conjunction} ${last}" PARENT_SCOPE)
  else()
    set(${out} "${last}" PARENT_SCOPE)
  endif()
endfunction()
varnlet_list_applications(VARNLET_APPLICATIONS y ${VARNLET_TARGET_APPLICATIONS})
varnlet_list_applications(VARNLET_APPLICATIONS_EN and ${VARNLET_TARGET_APPLICATIONS})
# The one-line description, in Spanish (the program's language) and in English (the manifests'
# other locale), and as the version resource gives it, after the title.
set(VARNLET_DESCRIPTION "Libera la memoria de ${VARNLET_APPLICATIONS}")
set(VARNLET_DESCRIPTION_EN "Frees the memory of ${VARNLET_APPLICATIONS_EN}")
set(VARNLET_FILE_DESCRIPTION "${VARNLET_TITLE} - libera la memoria de ${VARNLET_APPLICATIONS}")

# Writes a file the build's readers take, only when its text changed, so that nothing reading it is
# made again for nothing.
function(varnlet_write_facts path text)
  if(EXISTS ${path})
    file(READ ${path} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

# For the scripts (tests/e2e/lib.sh, and through it bench/common.sh): shell assignments. The Run
# key as reg.exe names it, with its root.
set(facts_sh "# Written by the build (cmake/ProductFacts.cmake): the product's facts, for the scripts.\n")
foreach(fact VARNLET_TITLE VARNLET_SHORT_NAME VARNLET_VERSION VARNLET_TIMER1_INTERVAL VARNLET_TIMER2_INTERVAL
             VARNLET_TIMER_TOLERANCE VARNLET_BALLOON_SHOW_TIME VARNLET_RUN_VALUE VARNLET_TRAY_ICON_ID
             VARNLET_TRAY_CALLBACK_MESSAGE VARNLET_BALLOON_TIMER_ID VARNLET_ICON_RETRY_TIMER_ID
             VARNLET_ICON_RETRY_INTERVAL VARNLET_MAIN_WINDOW_CLASS VARNLET_ABOUT_WINDOW_CLASS)
  string(APPEND facts_sh "${fact}='${${fact}}'\n")
endforeach()
foreach(key VARNLET_RUN_KEY VARNLET_UNINSTALL_KEY VARNLET_PRODUCT_KEY)
  string(APPEND facts_sh "${key}='HKLM\\${${key}}'\n")
endforeach()
list(JOIN VARNLET_TARGET_NAMES " " names)
string(APPEND facts_sh "VARNLET_TARGET_NAMES=(${names})\n")
varnlet_write_facts(${CMAKE_BINARY_DIR}/varnlet-facts.sh "${facts_sh}")

# For the packaging scripts (make_msi.py, manifests.py): JSON.
function(varnlet_json out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  string(REPLACE "\"" "\\\"" value "${value}")
  set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()
set(facts_json "{}")
foreach(fact TITLE SHORT_NAME VERSION MAKER HOME_PAGE RELEASE_URL LICENSE DESCRIPTION DESCRIPTION_EN APPLICATIONS
             APPLICATIONS_EN RUN_KEY RUN_VALUE UNINSTALL_KEY PRODUCT_KEY)
  string(TOLOWER ${fact} key)
  varnlet_json(value "${VARNLET_${fact}}")
  string(JSON facts_json SET "${facts_json}" ${key} "${value}")
endforeach()
foreach(fact TIMER1_INTERVAL TIMER2_INTERVAL)
  string(TOLOWER ${fact}_seconds key)
  string(JSON facts_json SET "${facts_json}" ${key} ${VARNLET_${fact}_SECONDS})
endforeach()
varnlet_write_facts(${CMAKE_BINARY_DIR}/varnlet-facts.json "${facts_json}\n")
unset(seconds)
unset(names)
unset(facts_sh)
unset(facts_json)
unset(key)
unset(value)
