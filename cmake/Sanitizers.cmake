# SPDX-License-Identifier: BSD-2-Clause-Patent
# Host code under AddressSanitizer and UndefinedBehaviorSanitizer (SIO_SANITIZE),
# or instrumented for libFuzzer as well (SIO_FUZZ, clang only). The module image
# is built by its own toolchain and never sees these flags.
option(SIO_SANITIZE "Build host code and tests with ASan and UBSan" OFF)
option(SIO_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(SIO_SANITIZE OR SIO_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(SIO_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
