# Writes OUT, a header with the git revision of SOURCE_DIR (empty outside a
# git checkout), and rewrites it only when the revision changed, so a build
# recompiles the version text only after a new commit.
execute_process(COMMAND git -C "${SOURCE_DIR}" describe --always --dirty --abbrev=10
    OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
    set(revision "")
endif()
set(text "#pragma once\n#define SONORIX_REVISION \"${revision}\"\n")
if(EXISTS "${OUT}")
    file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
    file(WRITE "${OUT}" "${text}")
endif()
