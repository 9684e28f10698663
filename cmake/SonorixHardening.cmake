# Debian's hardening flags for every program and library we build: position-
# independent executables, a strong stack protector, fortified libc calls,
# and read-only relocations bound at start-up, with the stack-clash and
# control-flow guards that hardening-check also looks for. Left out of sanitizer builds
# (the sanitizers check the same calls themselves) and of builds without
# optimisation, where the fortified calls do not exist.
option(SONORIX_HARDENING "Build with Debian's hardening flags" ON)

# SONORIX_HARDENED tells the package test whether the programs should carry
# every protection (fortified calls exist only in optimised builds).
set(SONORIX_HARDENED OFF)
if(SONORIX_HARDENING AND NOT SONORIX_SANITIZE AND NOT SONORIX_TSAN)
    if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
        set(SONORIX_HARDENED ON)
    endif()
    include(CheckPIESupported)
    check_pie_supported()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    # Guards against stack clash and, on x86, for control flow, where the
    # compiler has them.
    include(CheckCXXCompilerFlag)
    foreach(flag -fstack-clash-protection -fcf-protection)
        string(MAKE_C_IDENTIFIER "SONORIX_HAS${flag}" known)
        check_cxx_compiler_flag(${flag} ${known})
        if(${known})
            add_compile_options(${flag})
        endif()
    endforeach()
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security
        $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>
        $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
