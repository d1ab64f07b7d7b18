# Renders one manual page the way man(1) does and fails on any warning from
# groff (an unknown macro, a bad escape, a line that cannot be broken):
#   cmake -DMAN=/usr/bin/man -DPAGE=doc/man/quenlo.1 [-DREADME=README.md -DREADME_SECTION="Status labels"]
#         -P CheckManPage.cmake
# With README and README_SECTION, every label in the first column of the table
# under that README heading must also appear in the page, so the two cannot
# drift apart.
if(NOT MAN)
  message(FATAL_ERROR "man(1) not found: install man-db and groff-base (scripts/install-deps.sh)")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8 ${MAN} --warnings -E UTF-8 -l ${PAGE}
                RESULT_VARIABLE result OUTPUT_VARIABLE rendered ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "" OR rendered STREQUAL "")
  message(FATAL_ERROR "${PAGE}: man exited ${result}:\n${warnings}")
endif()

if(README)
  file(READ ${README} readme)
  string(FIND "${readme}" "### ${README_SECTION}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README has no section ${README_SECTION}")
  endif()
  string(SUBSTRING "${readme}" ${start} 2000 section)
  # Up to the next heading: later tables are not this section's.
  string(LENGTH "### ${README_SECTION}\n" heading)
  string(SUBSTRING "${section}" ${heading} -1 section)
  string(FIND "${section}" "\n#" next)
  if(NOT next EQUAL -1)
    string(SUBSTRING "${section}" 0 ${next} section)
  endif()
  string(REGEX MATCHALL "\n\\| `[^`]+` \\|" rows "${section}")
  if(rows STREQUAL "")
    message(FATAL_ERROR "README section ${README_SECTION} has no table")
  endif()
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "\n\\| `([^`]+)` \\|" "\\1" label "${row}")
    string(FIND "${rendered}" "${label}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "${PAGE} does not mention '${label}' from README's ${README_SECTION}")
    endif()
  endforeach()
endif()
