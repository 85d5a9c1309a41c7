# The distribution's hardening flags, so that the packaged programs are
# built as Debian builds its own: stack protector, fortified C library calls,
# format-string checks, read-only relocations bound at start, and position-
# independent executables. The flags come from dpkg-buildflags (with every
# hardening feature on), keeping only the hardening ones: the build type
# chooses optimisation and debug information. The sanitizer and fuzz builds
# go without them (the C library's fortified calls hide the accesses the
# sanitizers check).
option(STRBATCH_HARDENING "Build with the distribution's hardening flags" ON)
if(STRBATCH_HARDENING AND NOT STRBATCH_SANITIZE AND NOT STRBATCH_FUZZ)
  set(hardening_compile -fstack-protector-strong -Wformat -Werror=format-security
      -D_FORTIFY_SOURCE=2)
  set(hardening_link -Wl,-z,relro -Wl,-z,now)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(FILTER flags INCLUDE REGEX
           "^(-fstack-protector|-fstack-clash-protection|-fcf-protection|-D_FORTIFY_SOURCE|-Wformat|-Werror=format-security|-Wl,-z,)")
      set(hardening_${kind} ${flags})
    endforeach()
    set(hardening_compile ${hardening_CPPFLAGS} ${hardening_CXXFLAGS})
    set(hardening_link ${hardening_LDFLAGS})
  endif()
  foreach(flag IN LISTS hardening_compile)
    # Fortified calls need the optimiser; an unoptimised build would only
    # warn that they are off.
    if(flag MATCHES "^-D_FORTIFY_SOURCE")
      add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
    else()
      add_compile_options(${flag})
    endif()
  endforeach()
  add_link_options(${hardening_link})
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported()
endif()
